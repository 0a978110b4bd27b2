#include "vexa/parafile.h"

#include "platform/formatio.h"
#include "platform/userint.h"
#include "vexa/parapanel.h"
#include "vexa/paraset.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kFieldWidth = 5;
constexpr int kMaxLineChars = 80; // far more than a value and its blanks need

// The file dialog both operations share; false when nothing was chosen. Saving
// over an existing file asks first.
bool ChooseParaFile(int button, std::string &path) {
    const auto choose = button == VAL_SAVE_BUTTON ? FileSaveSelectPopup : FileSelectPopup;
    return choose(vexa.proj_dir, kParaFileName, "*.ini", "Parameter", button, 0, 0, 1, 1, path) > 0;
}

void ReportFileProblem(const std::string &path, const std::string &problem) {
    MessagePopup("ATTENTION!", " Parameter file \n " + path + "\n " + problem + ". ");
}

// The value of one line: a decimal number with optional blanks around it.
// Empty when the line is fine, else what is wrong with it.
std::string ParseLine(const std::string &line, uint16_t &value) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return "is empty";
    const auto last = line.find_last_not_of(" \t");
    const char *begin = line.data() + first, *end = line.data() + last + 1;
    unsigned long number = 0;
    const auto [stop, ec] = std::from_chars(begin, end, number);
    if (stop != end || line.size() >= kMaxLineChars) return "does not hold a number";
    if (ec == std::errc::result_out_of_range || number > 65535) return "holds a value above 65535";
    if (ec != std::errc()) return "does not hold a number";
    value = static_cast<uint16_t>(number);
    return {};
}

} // namespace

bool WriteParaFile(const std::string &path, const uint16_t (&record)[kAnzPara]) {
    const std::string temporary = path + ".tmp";
    std::error_code ec;
    if (ArrayToFile(temporary, record, kAnzPara, kFieldWidth, VAL_TRUNCATE) == 0) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

bool ReadParaFile(const std::string &path, uint16_t (&record)[kAnzPara], std::string &problem) {
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) {
        problem = "cannot be opened";
        return false;
    }
    uint16_t values[kAnzPara] = {};
    int count = 0;
    std::string line;
    problem.clear();
    while (count < kAnzPara && problem.empty() && ReadLine(handle, line, kMaxLineChars) >= 0) {
        const std::string wrong = ParseLine(line, values[count]);
        if (wrong.empty())
            ++count;
        else
            problem = "line " + std::to_string(count + 1) + " " + wrong;
    }
    CloseFile(handle);
    if (problem.empty() && count < kAnzPara)
        problem =
            "holds only " + std::to_string(count) + " values, " + std::to_string(kAnzPara) + " are needed";
    if (!problem.empty()) return false;
    std::copy(std::begin(values), std::end(values), std::begin(record));
    return true;
}

void SendParaToFile() {
    std::string path;
    if (!ChooseParaFile(VAL_SAVE_BUTTON, path)) return;
    GetPanelValues();
    CopyVarsToPP();
    if (WriteParaFile(path, para.pp))
        NoteFile(path, para.pp);
    else
        ReportFileProblem(path, "could not be written; the file was not changed");
    ShowSetState();
}

bool ChooseAndReadParaFile(uint16_t (&record)[kAnzPara], const std::string &unchanged) {
    std::string path, problem;
    if (!ChooseParaFile(VAL_LOAD_BUTTON, path)) return false;
    if (!ReadParaFile(path, record, problem)) {
        ReportFileProblem(path, problem + "; " + unchanged);
        return false;
    }
    NoteFile(path, record);
    return true;
}

void ReadParaFromFile() {
    uint16_t fileSet[kAnzPara];
    if (!ChooseAndReadParaFile(fileSet, "the parameters were not changed")) return;
    uint16_t panelSet[kAnzPara];
    PanelRecord(panelSet);
    if (!MayReplacePanel(panelSet, fileSet, "the file")) {
        ShowSetState();
        return;
    }
    std::copy(std::begin(fileSet), std::end(fileSet), std::begin(para.pp));
    CopyFileParatoVars();
    SetPanelValues();
    InitEval();
    InitChannelMode();
    ShowSetState();
}
