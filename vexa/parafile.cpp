#include "vexa/parafile.h"

#include "platform/userint.h"
#include "vexa/parapanel.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

#include <algorithm>

using vexalink::kAnzPara;
using vexalink::ReadParaFile;
using vexalink::WriteParaFile;

namespace vexaprogram {
namespace {

// The file dialog both operations share; false when nothing was chosen. Saving
// over an existing file asks first.
bool ChooseParaFile(int button, std::string &path) {
    const auto choose = button == VAL_SAVE_BUTTON ? FileSaveSelectPopup : FileSelectPopup;
    return choose(vexa.proj_dir, kParaFileName, "*.ini", "Parameter", button, 0, 0, 1, 1, path) > 0;
}

void ReportFileProblem(const std::string &path, const std::string &problem) {
    MessagePopup("ATTENTION!", " Parameter file \n " + path + "\n " + problem + ". ");
}

} // namespace

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

bool ChooseAndReadParaFile(uint16_t (&record)[kAnzPara], const std::string &unchanged, std::string &path) {
    std::string problem;
    if (!ChooseParaFile(VAL_LOAD_BUTTON, path)) return false;
    if (!ReadParaFile(path, record, problem)) {
        ReportFileProblem(path, problem + "; " + unchanged);
        return false;
    }
    return true;
}

void ReadParaFromFile() {
    uint16_t fileSet[kAnzPara];
    std::string path;
    if (!ChooseAndReadParaFile(fileSet, "the parameters were not changed", path)) return;
    // The file the panels may now come from; a file only compared is not noted.
    NoteFile(path, fileSet);
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

} // namespace vexaprogram
