#include "vexa/recorder.h"

#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "platform/userint.h"
#include "runtime/formatio.h"
#include "runtime/utility.h"
#include "vexa/dimming.h"
#include "vexa/graphpanel.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/sensorlink.h"
#include "vexalink/recordfile.h"

#include <algorithm>
#include <string>

using vexalink::AppendToFile;
using vexalink::CanAppendToFile;
using vexalink::CsvRecordHeader;
using vexalink::CsvRecordRow;
using vexalink::kAnswerMarker;
using vexalink::kCsvRecordFileName;
using vexalink::kRecordFileName;
using vexalink::kRecordValues;
using vexalink::ReadRecordFormat;
using vexalink::RecordFormat;
using vexalink::RecordHeader;
using vexalink::RecordRow;
using vexalink::WriteRecordFormat;

using namespace runtime;
using namespace programlink;

namespace vexaprogram {

RecorderState rec;

namespace {

constexpr double kTriggerWaitSlice = 1.0; // the triggered wait has no end; it sleeps until a frame or a click
constexpr int kRed = MakeColor(255, 0, 0);
constexpr int kLightGrey = MakeColor(224, 224, 224);
constexpr const char *kAttention = "ATTENTION!";
constexpr const char *kRightFileQuestion = "Are you sure, that you have selected the right file name?";

// The file-lock warning; the triggered start pads it with 42 blanks instead of 36.
std::string LockWarning(int blanks) {
    return " Make sure, that the file is not opened by any other program." + std::string(blanks, ' ') +
           "\n Otherwise it can not be saved.";
}

// Which modes (bit m for mode m) show each control.
struct ModeControl {
    const char *name;
    unsigned modes;
};
constexpr ModeControl kModeControls[] = {
    {"EditInterval", 0b0011},          {"EditRecVal", 0b0001},
    {"DispRecordTimeDays", 0b0001},    {"DispRecordTimeHours", 0b0001},
    {"DispRecordTimeMinutes", 0b0001}, {"DispRecordTimeSeconds", 0b0001},
    {"DispRecordedValues", 0b0101},    {"DispRemaining", 0b0001},
    {"DispCounter", 0b1010},           {"ButtonStartRecord", 0b0011},
    {"ButtonStopRecord", 0b0011},      {"ButtonManualRecord", 0b0100},
    {"ButtonStartTrigRec", 0b1000},    {"ButtonStopTrigRec", 0b1000},
};

int RecordMode() {
    int mode = 0;
    GetCtrlVal(vexa.recpanel, "EditSelectDataRec", mode);
    return mode;
}

RecordFormat SelectedFormat() {
    int format = 0;
    GetCtrlVal(vexa.recpanel, "EditRecFormat", format);
    return format == static_cast<int>(RecordFormat::Csv) ? RecordFormat::Csv : RecordFormat::Tab;
}

// Beside the connection settings, so it lives wherever they do.
std::string RecordFormatFileName() {
    const std::string &settings = com.conSettingsFileName;
    const std::size_t slash = settings.find_last_of("/\\");
    return JoinPath(slash == std::string::npos ? vexa.proj_dir : settings.substr(0, slash),
                    "RecordFormat.cfg");
}

// The record file is whatever the text box names on its first line; its format is the selected one.
void TakeFileName() {
    std::string text;
    GetCtrlVal(vexa.recpanel, "DispRecFile", text);
    rec.file_name = text.substr(0, text.find_first_of("\r\n"));
    rec.format = SelectedFormat();
}

// A row carries the moment its sample's answer arrived, not the moment it is written.
void StampSample() {
    rec.sampleTimer = Timer();
    rec.sampleWallMs = WallClockMs();
}

// Names the record file and why rows cannot be written to it.
std::string NotWritableText(const std::string &reason) {
    return " Rows cannot be written to \n " + rec.file_name + "\n " + reason + ". ";
}

// Before anything is asked of the sensor: the record file is named and takes rows, so
// that no recording runs into nothing. A file gone since it was chosen starts again
// with its header.
bool RecordFileReady() {
    if (rec.file_name.empty()) {
        MessagePopup(kAttention, "No record file chosen: choose one with SELECT FILE first");
        return false;
    }
    long size = 0;
    const bool existed = GetFileInfo(rec.file_name, size) == 1;
    std::string reason;
    if (!CanAppendToFile(rec.file_name, reason)) {
        MessagePopup(kAttention, NotWritableText(reason) + "\n Nothing was recorded. ");
        return false;
    }
    if (!existed) WriteFileHeader();
    return true;
}

void StartRecordingClock() {
    rec.recordStart = Timer();
}

// Success only when every row reached the file; otherwise the file and the loss are
// named. A recording that took no row at all says so, not that a file was saved.
void ShowRecordingOutcome(bool noRow = false) {
    if (noRow && rec.rowsLost == 0) {
        MessagePopup(kAttention, " No frame came from the sensor: no row was recorded in \n " +
                                     rec.file_name + ". \n Does the sensor get its trigger? ");
        return;
    }
    if (rec.rowsLost == 0) {
        MessagePopup("INFO!", "File has been saved!");
        return;
    }
    const std::string rows = std::to_string(rec.rowsLost) + (rec.rowsLost == 1 ? " row was" : " rows were");
    MessagePopup(kAttention,
                 " The recording could not be saved in \n " + rec.file_name + "\n " + rows + " lost. ");
}

void ShowCount(const char *display, double count) {
    SetCtrlVal(vexa.recpanel, display, count);
}

// Takes one answered frame into the variables, the graph panel, the displays and the charts.
// They are drawn here, so that no drawing runs while the next answer is awaited and
// delays its time stamp.
void ShowRecordedFrame() {
    CopyDatatoVars();
    SetPanelGraphData();
    SetPanelData();
    ShowGraph();
    ProcessDrawEvents();
}

// Locks the interval controls while a recording runs (1) or releases them (0).
void LockIntervalControls(int locked) {
    for (const char *name : {"EditInterval", "EditRecVal", "ButtonStartRecord"})
        SetCtrlAttribute(vexa.recpanel, name, ATTR_CTRL_MODE, locked ? VAL_INDICATOR : VAL_HOT);
    SetCtrlAttribute(vexa.recpanel, "ButtonStartRecord", ATTR_CTRL_COLOR, locked ? kRed : kLightGrey);
}

// Waits, without time-out, for the next auto-sent frame or until poll is cleared;
// complete exactly when the sensor's bytesToRead is 0 afterwards.
void WaitForTriggerFrame() {
    sensor::Sensor &s = LinkSensor();
    bool finished = false;
    s.awaitStreamedFrame([&finished](bool) { finished = true; });
    while (!finished && vexa.poll == 1)
        WaitForSystemEvents(kTriggerWaitSlice);
    if (!finished) s.cancel("the recording was stopped");
}

} // namespace

void InitRecordPanel() {
    const int mode = RecordMode();
    for (const ModeControl &c : kModeControls)
        SetCtrlAttribute(vexa.recpanel, c.name, ATTR_VISIBLE, mode >= 0 && mode < 4 && (c.modes >> mode & 1));
}

void CalcRecTime() {
    GetCtrlVal(vexa.recpanel, "EditInterval", rec.zeitint);
    GetCtrlVal(vexa.recpanel, "EditRecVal", rec.anzwerte);
    SetCtrlVal(vexa.recpanel, "DispRecordedValues", 0);
    SetCtrlVal(vexa.recpanel, "DispRemaining", static_cast<int>(rec.anzwerte));
    const uint32_t total = uint32_t{rec.zeitint} * rec.anzwerte; // at most 3600 x 65535 s
    SetCtrlVal(vexa.recpanel, "DispRecordTimeDays", total / 86400);
    SetCtrlVal(vexa.recpanel, "DispRecordTimeHours", total % 86400 / 3600);
    SetCtrlVal(vexa.recpanel, "DispRecordTimeMinutes", total % 3600 / 60);
    SetCtrlVal(vexa.recpanel, "DispRecordTimeSeconds", total % 60);
}

void SelRecFile() {
    std::string path;
    const bool csv = SelectedFormat() == RecordFormat::Csv;
    const int chosen =
        FileSelectPopup(vexa.proj_dir, csv ? kCsvRecordFileName : kRecordFileName, csv ? "*.csv" : "*.dat",
                        "FILENAME!", VAL_SAVE_BUTTON, 0, 0, 1, 1, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) {
        MessagePopup(kAttention, "No filename was choosen! \nRecording will not be done! ");
        return;
    }
    rec.file_name = path;
    if (chosen == VAL_EXISTING_FILE_SELECTED) {
        if (ConfirmPopup(kAttention, "File already exist! \nDo you want to select existing file?") != 1)
            return;
        MessagePopup(kAttention, LockWarning(36));
        DeleteFile(rec.file_name);
    }
    ResetTextBox(vexa.recpanel, "DispRecFile", rec.file_name);
    // A file that takes no header takes no rows either: said now, not after a recording.
    std::string reason;
    if (!CanAppendToFile(rec.file_name, reason))
        MessagePopup(kAttention, NotWritableText(reason));
    else if (!WriteFileHeader())
        MessagePopup(kAttention, NotWritableText("the header row could not be written"));
}

bool WriteFileHeader() {
    return AppendToFile(rec.file_name,
                        SelectedFormat() == RecordFormat::Csv ? CsvRecordHeader() : RecordHeader());
}

void Record() {
    TakeFileName();
    if (!RecordFileReady()) return;
    if (ConfirmPopup(kAttention, kRightFileQuestion) != 1) return;
    MessagePopup(kAttention, LockWarning(36));
    LockIntervalControls(1);
    RecordFrame();
    ShowRecordingOutcome();
    LockIntervalControls(0);
}

void RecordFrame() {
    vexa.poll = 1;
    rec.otcrec = 0;
    rec.rowsLost = 0;
    CalcRecTime();
    StartRecordingClock();
    double frames = 0;
    ShowCount("DispCounter", 0);
    while (vexa.poll == 1) {
        rec.recstart = Timer();
        FillTxBuf(5, 0, 0, 0);
        GetDataFrame();
        StampSample();
        if (LinkSensor().bytesToRead() == 0) {
            GetRxBufData();
            ShowRecordedFrame();
        } else {
            SetPopupTimeout();
        }
        ToFile(); // after a failed cycle the row repeats the last good values
        const int mode = RecordMode();
        if (mode == 0) {
            ++rec.otcrec;
            ShowCount("DispRecordedValues", rec.otcrec);
            ShowCount("DispRemaining", rec.anzwerte - rec.otcrec);
            if (rec.otcrec >= rec.anzwerte) vexa.poll = 0;
        } else if (mode == 1) {
            ShowCount("DispCounter", ++frames);
        }
        SlowDown();
    }
}

void SlowDown() {
    double elapsed = 0.0;
    while (rec.zeitint > elapsed) {
        elapsed = Timer() - rec.recstart;
        WaitForSystemEvents(rec.zeitint - elapsed);
        if (vexa.poll == 0) return;
    }
}

void StartTriggeredRecording() {
    TakeFileName();
    if (!RecordFileReady()) return;
    if (ConfirmPopup(kAttention, kRightFileQuestion) != 1) return;
    SetButtonsDimmed(1);
    MessagePopup(kAttention, LockWarning(42));
    SetCtrlAttribute(vexa.recpanel, "ButtonStartTrigRec", ATTR_CTRL_COLOR, kRed);
    const int frames = TriggeredRecord();
    StopAutoSend();
    if (frames >= 0) ShowRecordingOutcome(frames == 0);
    SetCtrlAttribute(vexa.recpanel, "ButtonStartTrigRec", ATTR_CTRL_COLOR, kLightGrey);
    SetButtonsDimmed(0);
}

int TriggeredRecord() {
    sensor::Sensor &s = LinkSensor();
    ShowCount("DispCounter", 0);
    // A lost link is opened again, as GO and SEND do; one that stays closed is said.
    FillTxBuf(50, 1, 0, 0);
    if (!ReopenLostLink() || SendTxBuf() != sensor::kFrameBytes) {
        SetPopupTimeout();
        MessagePopup(kAttention,
                     " The link to the sensor is not open: \n " + s.cause() + "\n Nothing was recorded. ");
        return -1;
    }
    int frames = 0;
    rec.rowsLost = 0;
    vexa.poll = 1;
    s.setStreaming(true);
    StartRecordingClock();
    while (vexa.poll == 1) {
        WaitForTriggerFrame();
        if (s.bytesToRead() != 0) continue; // cut short by STOP TRIG, or a frame of wrong length
        StampSample();
        GetRxBufData();
        if (live.databuf[0] != kAnswerMarker) {
            // Out of step with the frames (stray bytes on the line): start again at the next one.
            s.dropReceived();
            continue;
        }
        ShowRecordedFrame();
        ToFile();
        ShowCount("DispCounter", ++frames);
    }
    // Frames the sensor sends before it takes auto-send off are not awaited any more.
    s.setStreaming(false);
    s.expectNothing();
    return frames;
}

void RecordManually() {
    TakeFileName();
    if (!RecordFileReady()) return;
    // A manual row samples the live values at the press; the rows since entering the mode are one recording.
    StampSample();
    if (rec.otcrec == 0) rec.recordStart = rec.sampleTimer;
    SetPanelGraphData();
    rec.rowsLost = 0;
    if (!ToFile()) ShowRecordingOutcome();
    ShowCount("DispRecordedValues", ++rec.otcrec);
}

bool ToFile() {
    const uint16_t values[kRecordValues] = {live.dataChL,  live.dataChC,  live.dataChR, live.dataDensity,
                                            live.dataSym1, live.dataSym2, live.dataVec, live.dataTemp};
    const std::string row =
        rec.format == RecordFormat::Csv
            ? CsvRecordRow(IsoDateTimeStr(rec.sampleWallMs), rec.sampleTimer - rec.recordStart, values)
            : RecordRow(DateStr(rec.sampleWallMs), TimeStr(rec.sampleWallMs), values);
    const bool written = AppendToFile(rec.file_name, row);
    if (!written) ++rec.rowsLost;
    return written;
}

void ChangeRecordMode() {
    vexa.poll = 0;
    const int mode = RecordMode();
    if (mode == 2) {
        rec.otcrec = 0;
        SetCtrlVal(vexa.recpanel, "DispRecordedValues", 0);
    }
    if (mode == 0) CalcRecTime();
    InitPanelGraph();
    InitRecordPanel();
}

void LoadRecordFormat() {
    SetCtrlVal(vexa.recpanel, "EditRecFormat", static_cast<int>(ReadRecordFormat(RecordFormatFileName())));
}

void ChangeRecordFormat() {
    WriteRecordFormat(RecordFormatFileName(), SelectedFormat());
    ResetTextBox(vexa.recpanel, "DispRecFile", "");
}

} // namespace vexaprogram
