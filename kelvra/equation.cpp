#include "kelvra/equation.h"

#include "kelvralink/kelvradata.h"
#include "platform/userint.h"
#include "runtime/filestore.h"
#include "runtime/formatio.h"

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::EquationSize;
using kelvralink::kCoefs;
using kelvralink::kdata;
using kelvralink::kMaxEquation;
using kelvralink::kpanels;
using kelvralink::PanelDesc;
using kelvralink::ReadEquationFile;

using namespace runtime;

namespace kelvraprogram {
namespace {

constexpr const char *kMessageTitle = "Equation file";
constexpr int kFieldWidth = 10;

// Lets the user choose an equation file; its path goes to file_name. A file
// to be saved over is replaced only when the user confirms it.
bool ChooseEquationFile(bool forSaving) {
    std::string path;
    const auto choose = forSaving ? FileSaveSelectPopup : FileSelectPopup;
    const int chosen =
        choose(kdata.proj_dir, "equation.equ", "*.equ", "equation", VAL_OK_BUTTON, 0, 1, 1, 1, path);
    if (chosen == VAL_NO_FILE_SELECTED) return false;
    kdata.file_name = path;
    return true;
}

} // namespace

bool SaveEquation(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    if (!ChooseEquationFile(true)) return false;
    const int panel = kpanels.datapanel[p.number];
    double values[kMaxEquation] = {};
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            GetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), values[k * kCoefs + j]);
    // The coefficients are the user's calibration: a lost save must not go unnoticed,
    // and a save cut short must not destroy the file it was to replace.
    const bool saved = ReplaceFileWith(kdata.file_name, [&](const std::string &temporary) {
        return ArrayToFile(temporary, values, EquationSize(p), kFieldWidth, VAL_TRUNCATE) == 0;
    });
    if (!saved)
        MessagePopup(kMessageTitle, "The coefficients could not be saved in " + kdata.file_name + ".");
    return saved;
}

bool GetEquation(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    if (!ChooseEquationFile(false)) return false;
    double values[kMaxEquation] = {};
    std::string problem;
    if (!ReadEquationFile(kdata.file_name, p, values, problem)) {
        MessagePopup(kMessageTitle, kdata.file_name + " " + problem + "; the coefficients are unchanged.");
        return false;
    }
    const int panel = kpanels.datapanel[p.number];
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            SetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), values[k * kCoefs + j]);
    return true;
}

} // namespace kelvraprogram
