#include "kelvra/calexport.h"

#include "kelvra/gui.h"
#include "kelvra/startup.h"
#include "kelvralink/calc.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/sensorkinds.h"
#include "platform/userint.h"
#include "runtime/filestore.h"
#include "runtime/formatio.h"
#include "runtime/utility.h"

#include <charconv>
#include <cmath>

using kelvralink::Channel;
using kelvralink::ChannelName;
using kelvralink::ClampTemperature;
using kelvralink::CoefficientCtrl;
using kelvralink::CorrectionFactor;
using kelvralink::DataPanelDesc;
using kelvralink::DataPanelOfSensor;
using kelvralink::kCoefs;
using kelvralink::kdata;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTemps;
using kelvralink::PanelDesc;
using kelvralink::PolynomialAt;
using kelvralink::SetPointValueCtrl;
using kelvralink::SetPointWordCtrl;

using namespace runtime;

namespace kelvraprogram {
namespace {

constexpr const char *kLineEnd = "\r\n";

// Shortest text that reads back as the same double, whatever the locale.
std::string Number(double v) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

// A field quoted when it holds a separator, a quote or a line end.
std::string Field(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void Row(std::string &out, std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string &f : fields) {
        if (!first) out += ',';
        out += Field(f);
        first = false;
    }
    out += kLineEnd;
}

// A table's title row, then its column names: the first column's, then one per channel.
void TableHead(std::string &out, const CalibrationSheet &s, const char *title, const char *first) {
    out += kLineEnd;
    Row(out, {title});
    out += first;
    for (int k = 0; k < s.channelCount; ++k)
        out.append(",").append(ChannelName(s.channels[k]));
    out += kLineEnd;
}

} // namespace

std::string CalibrationCsv(const CalibrationSheet &s) {
    std::string out;
    Row(out, {"Sensor family", s.family});
    Row(out, {"Data panel", "P" + std::to_string(s.panel)});
    Row(out, {"Reference temperature (°C)", std::to_string(s.refTemp)});
    Row(out, {"Date", s.date});

    out += kLineEnd;
    Row(out, {"Coefficients"});
    Row(out, {"Channel", "X4", "X3", "X2", "X1", "T"});
    for (int k = 0; k < s.channelCount; ++k) {
        out += ChannelName(s.channels[k]);
        for (double c : s.coefs[k])
            out.append(",").append(Number(c));
        out += kLineEnd;
    }

    out += kLineEnd;
    Row(out, {"Set points"});
    Row(out, {"Channel", "Value", "Word"});
    for (int k = 0; k < s.channelCount; ++k)
        Row(out, {ChannelName(s.channels[k]), Number(s.setPointValue[k]), std::to_string(s.setPointWord[k])});

    TableHead(out, s, "Curves", "Temperature (°C)");
    for (int t = 0; t < kTemps; ++t) {
        out += std::to_string(t);
        for (int k = 0; k < s.channelCount; ++k)
            out.append(",").append(Number(s.curves[k][t]));
        out += kLineEnd;
    }
    TableHead(out, s, "Correction factors (1024 = 1.0)", "Temperature (°C)");
    for (int t = 0; t < kTemps; ++t) {
        out += std::to_string(t);
        for (int k = 0; k < s.channelCount; ++k)
            out.append(",").append(std::to_string(s.factors[k][t]));
        out += kLineEnd;
    }
    return out;
}

CalibrationSheet ReadCalibrationSheet(int n, const std::string &family) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    CalibrationSheet s;
    s.family = family;
    s.panel = p.number;
    s.date = IsoDateTimeStr(WallClockMs());
    s.channelCount = p.channelCount;
    GetCtrlVal(panel, kEditTemp, s.refTemp);
    for (int k = 0; k < p.channelCount; ++k) {
        const Channel c = p.channels[k];
        s.channels[k] = c;
        for (int j = 0; j < kCoefs; ++j)
            GetCtrlVal(panel, CoefficientCtrl(c, j), s.coefs[k][j]);
        GetCtrlVal(panel, SetPointValueCtrl(c), s.setPointValue[k]);
        GetCtrlVal(panel, SetPointWordCtrl(c), s.setPointWord[k]);
        for (int t = 0; t < kTemps; ++t) {
            s.curves[k][t] = PolynomialAt(s.coefs[k], t);
            s.factors[k][t] = CorrectionFactor(s.setPointWord[k], s.curves[k][t]);
        }
    }
    return s;
}

bool SetPointsFollowCurves(const CalibrationSheet &s) {
    const uint16_t t = ClampTemperature(s.refTemp);
    for (int k = 0; k < s.channelCount; ++k) {
        const double curve = s.curves[k][t], shown = s.setPointValue[k];
        if (shown != curve && !(std::isnan(shown) && std::isnan(curve))) return false;
    }
    return true;
}

void ExportDataPanel() {
    int code = 0, index = -1;
    std::string family;
    GetCtrlVal(kpanels.mainpanel, kEditSelectSensor, code);
    const int n = DataPanelOfSensor(static_cast<uint16_t>(code));
    if (n == 0) {
        MessagePopup("ATTENTION!", " Select a sensor first: its data panel is exported. ");
        return;
    }
    GetCtrlIndex(kpanels.mainpanel, kEditSelectSensor, index);
    GetLabelFromIndex(kpanels.mainpanel, kEditSelectSensor, index, family);
    const CalibrationSheet sheet = ReadCalibrationSheet(n, family);
    if (!SetPointsFollowCurves(sheet)) {
        MessagePopup("ATTENTION!", " The set points on data panel P" + std::to_string(n) +
                                       " were not calculated from its coefficients \n"
                                       " at its reference temperature. Confirm the reference temperature \n"
                                       " (or send to the sensor) first. Nothing was exported. ");
        return;
    }
    std::string path;
    const int chosen = FileSaveSelectPopup(kdata.proj_dir, "calibration.csv", "*.csv", "EXPORT DATA PANEL",
                                           VAL_SAVE_BUTTON, 0, 1, 1, 1, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return;
    const std::string csv = CalibrationCsv(sheet);
    const bool saved =
        ReplaceFile(path, [&](int handle) { return WriteFile(handle, csv) == int(csv.size()); });
    if (!saved) MessagePopup("ATTENTION!", " The data panel could not be exported to \n " + path);
}

} // namespace kelvraprogram
