#include "link/serverlist.h"

#include "link/combobox.h"
#include "link/linkstate.h"
#include "runtime/filestore.h"
#include "runtime/formatio.h"

#include <algorithm>

using namespace runtime;

namespace programlink {
namespace {

constexpr int kRecordWithLineEnd = kServerRecordBytes + 1;

// The name as a record: at most 99 bytes (not ending inside a character), zero padded.
std::string Record(const std::string &name) {
    std::size_t n = std::min(name.find('\0'), name.size());
    if (n >= kServerRecordBytes) {
        n = kServerRecordBytes - 1;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
            --n;
    }
    std::string record = name.substr(0, n);
    record.resize(kServerRecordBytes, '\0');
    return record;
}

std::vector<std::string> ComboItems(int panel, int combo) {
    std::vector<std::string> names;
    int count = 0;
    Combo_GetNumComboItems(panel, combo, count);
    for (int i = 0; i < count; ++i) {
        std::string name;
        if (Combo_GetComboItem(panel, combo, i, name) >= 0) names.push_back(name);
    }
    return names;
}

} // namespace

std::vector<std::string> ReadServerListFile(const std::string &path) {
    std::vector<std::string> names;
    long size = 0;
    if (GetFileInfo(path, size) < 1 || size <= 0) return names;
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) return names;
    const long records = size / kRecordWithLineEnd;
    std::string line;
    for (long i = 0; i < records && ReadLine(handle, line, kServerRecordBytes) >= 0; ++i)
        if (!line.empty()) names.push_back(line);
    CloseFile(handle);
    return names;
}

bool WriteServerListFile(const std::string &path, const std::vector<std::string> &names) {
    return ReplaceFile(path, [&names](int handle) {
        for (const std::string &name : names)
            if (WriteFile(handle, Record(name)) < 0 || WriteLine(handle, "") < 0) return false;
        return true;
    });
}

int InitServerComboBox() {
    const int panel = linkProgram.interfacepanel;
    const int combo = Combo_NewComboBox(panel, "StringIpAdress");
    if (combo < 0) return combo;
    com.ipCombo = combo;
    Combo_SetComboAttribute(panel, combo, COMBO_ATTR_COLOR, MakeColor(224, 224, 224));
    for (const std::string &name : ReadServerListFile(com.ipComboBoxFileName))
        Combo_InsertComboItem(panel, combo, -1, name);
    return combo;
}

void StoreServerName() {
    const int panel = linkProgram.interfacepanel;
    const int combo = com.ipCombo;
    std::string name;
    if (GetCtrlVal(panel, combo, name) < 0) return;
    int index = -1;
    Combo_GetIndexFromValue(panel, combo, index, name);
    if (index >= 0) Combo_DeleteComboItem(panel, combo, index, 1);
    Combo_InsertComboItem(panel, combo, 0, name);
    int count = 0;
    Combo_GetNumComboItems(panel, combo, count);
    if (count > kMaxServerNames) Combo_DeleteComboItem(panel, combo, kMaxServerNames, -1);
    // A list that cannot be stored is simply not kept for the next run.
    WriteServerListFile(com.ipComboBoxFileName, ComboItems(panel, combo));
}

} // namespace programlink
