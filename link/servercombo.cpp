#include "link/servercombo.h"

#include "link/combobox.h"
#include "link/linkstate.h"
#include "linksettings/serverlist.h"

#include <string>
#include <vector>

using namespace linksettings;

namespace programlink {
namespace {

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
