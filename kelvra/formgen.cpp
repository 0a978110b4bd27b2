// Writes the six data panels into KelvraV12's panel form, laid out from the
// panel table, so that the four three-channel panels cannot drift apart and
// every control name matches the one the program asks for.
//
//   kelvra_formgen <form.ui.in> <output>
// copies the form and replaces the line holding <!--KELVRA_DATA_PANELS--> with the panels.
#include "kelvralink/paneltable.h"

#include <QFile>
#include <QRect>
#include <QString>
#include <QXmlStreamWriter>
#include <cstdio>

using kelvralink::CfChartCtrl;
using kelvralink::Channel;
using kelvralink::ChannelName;
using kelvralink::CoefficientCallbackName;
using kelvralink::CoefficientCtrl;
using kelvralink::CurveChartCtrl;
using kelvralink::DataCallbackName;
using kelvralink::DataPanelCallbackName;
using kelvralink::DataPanelDesc;
using kelvralink::DataRole;
using kelvralink::DataRoleName;
using kelvralink::HasChannelCharts;
using kelvralink::HasCombinedCharts;
using kelvralink::kCalCheck;
using kelvralink::kCalCheckCallback;
using kelvralink::kCfChartAll;
using kelvralink::kCoefs;
using kelvralink::kCoefState;
using kelvralink::kCoefStateCallback;
using kelvralink::kCurveChartAll;
using kelvralink::kDataPanels;
using kelvralink::kEditTemp;
using kelvralink::kTransferProgress;
using kelvralink::kTransferStatus;
using kelvralink::PanelDesc;
using kelvralink::SetPointValueCtrl;
using kelvralink::SetPointWordCtrl;

namespace {

constexpr const char *kMarker = "<!--KELVRA_DATA_PANELS-->";

// Panel size and the grid of the coefficient table.
constexpr int kPanelWidth = 1000, kPanelHeight = 560;
constexpr int kRowTop = 30, kRowStep = 30, kFieldHeight = 24;
constexpr int kLabelLeft = 10, kLabelWidth = 56;
// A coefficient field shows a typed "-0,000123456789" whole; a set point rounds to its width.
constexpr int kCoefLeft = 70, kCoefStep = 124, kCoefWidth = 120;
constexpr int kSetPointLeft = 692, kSetPointWidth = 96;
constexpr int kWordLeft = 794, kWordWidth = 84;
constexpr int kTempLeft = 896, kTempWidth = 94;
// The two chart columns: curves on the left, correction factors on the right.
constexpr int kChartLeft[2] = {10, 505}, kChartWidth = 485;
constexpr int kBottomRow = kPanelHeight - 40;
constexpr int kCheckRow = kBottomRow - 28; // the line that says which degrees cannot be right

const char *const kPowerHeads[kCoefs] = {"t⁴ (X4)", "t³ (X3)", "t² (X2)", "t (X1)", "1 (T)"};

const char *ChannelLabel(Channel c) {
    switch (c) {
    case Channel::Red:
        return "Red";
    case Channel::Green:
        return "Green";
    case Channel::Blue:
        return "Blue";
    case Channel::Ref:
        return "REF";
    case Channel::Dir:
        return "DIR";
    case Channel::Dif:
        return "DIF";
    case Channel::Raw:
        return "Raw";
    }
    return "";
}

const char *TraceColor(Channel c) {
    switch (c) {
    case Channel::Red:
        return "#d62728";
    case Channel::Green:
        return "#2ca02c";
    case Channel::Blue:
        return "#1f77b4";
    case Channel::Ref:
        return "#ff7f0e";
    case Channel::Dir:
        return "#9467bd";
    case Channel::Dif:
        return "#17becf";
    case Channel::Raw:
        return "#303030";
    }
    return "#000000";
}

// Designer's XML for widgets and their properties.
class Form {
  public:
    explicit Form(QString *out) : x(out) {
        x.setAutoFormatting(true);
        x.setAutoFormattingIndent(2);
    }
    void begin(const char *cls, const std::string &name, QRect r) {
        x.writeStartElement("widget");
        x.writeAttribute("class", cls);
        x.writeAttribute("name", QString::fromStdString(name));
        x.writeStartElement("property");
        x.writeAttribute("name", "geometry");
        x.writeStartElement("rect");
        x.writeTextElement("x", QString::number(r.x()));
        x.writeTextElement("y", QString::number(r.y()));
        x.writeTextElement("width", QString::number(r.width()));
        x.writeTextElement("height", QString::number(r.height()));
        x.writeEndElement();
        x.writeEndElement();
    }
    void end() { x.writeEndElement(); }
    void prop(const char *name, const char *type, const QString &value, bool dynamic = false) {
        x.writeStartElement("property");
        x.writeAttribute("name", name);
        if (dynamic) x.writeAttribute("stdset", "0");
        x.writeTextElement(type, value);
        x.writeEndElement();
    }
    void text(const QString &t) { prop("text", "string", t); }
    void callback(const std::string &name) { prop("callback", "string", QString::fromStdString(name), true); }
    void noFocus() { prop("focusPolicy", "enum", "Qt::NoFocus"); }
    void align(const char *a) { prop("alignment", "set", a); }
    void bold() {
        x.writeStartElement("property");
        x.writeAttribute("name", "font");
        x.writeStartElement("font");
        x.writeTextElement("bold", "true");
        x.writeEndElement();
        x.writeEndElement();
    }

    void label(const std::string &name, QRect r, const QString &t, const char *alignment = nullptr) {
        begin("QLabel", name, r);
        text(t);
        if (alignment) align(alignment);
        end();
    }
    // A floating-point field; readOnly makes it a display.
    void number(const std::string &name, QRect r, bool readOnly, const std::string &cb = {}) {
        begin("QLineEdit", name, r);
        prop("dataType", "string", "double", true);
        text("0");
        align("Qt::AlignRight|Qt::AlignVCenter");
        if (readOnly) {
            prop("readOnly", "bool", "true");
            noFocus();
        }
        if (!cb.empty()) callback(cb);
        end();
    }
    // A text display. One that shows its state in colour is not read-only, so that the
    // form's grey for read-only fields leaves its colour alone; it takes no focus.
    void display(const char *name, QRect r, const std::string &cb = {}) {
        begin("QLineEdit", name, r);
        if (cb.empty()) prop("readOnly", "bool", "true");
        noFocus();
        align("Qt::AlignCenter");
        if (!cb.empty()) callback(cb);
        end();
    }
    // A whole-number field of 16 bits.
    void word(const std::string &name, QRect r, const std::string &cb = {}) {
        begin("QSpinBox", name, r);
        prop("maximum", "number", "65535");
        align("Qt::AlignRight|Qt::AlignVCenter");
        if (!cb.empty()) callback(cb);
        end();
    }
    void button(const std::string &name, QRect r, const QString &t, const std::string &cb) {
        begin("QPushButton", name, r);
        text(t);
        callback(cb);
        end();
    }
    void chart(const std::string &name, QRect r, int traces, const QString &colors, bool visible) {
        begin("StripChart", name, r);
        prop("traces", "number", QString::number(traces));
        prop("pointsPerScreen", "number", "101");
        prop("traceColors", "string", colors);
        if (!visible) prop("visible", "bool", "false");
        end();
    }
    void startPanel(int n) {
        begin("QWidget", "DATAP" + std::to_string(n), QRect(8, 105, kPanelWidth, kPanelHeight));
        prop("resourceNumber", "number", QString::number(n), true);
        callback(DataPanelCallbackName(n));
        prop("windowTitle", "string", QString("Data panel P%1").arg(n));
    }

  private:
    QXmlStreamWriter x;
};

// Header line, one row per channel (label, coefficients, set point, word) and the reference temperature.
void CoefficientTable(Form &f, const PanelDesc &p) {
    const QRect head(0, 8, 0, 20);
    f.label("LabelChannel", QRect(kLabelLeft, head.y(), kLabelWidth, head.height()), "Channel");
    for (int j = 0; j < kCoefs; ++j)
        f.label("LabelPower" + std::to_string(j), QRect(kCoefLeft + j * kCoefStep, head.y(), kCoefWidth, 20),
                kPowerHeads[j], "Qt::AlignCenter");
    f.label("LabelSetPoint", QRect(kSetPointLeft, head.y(), kSetPointWidth, 20), "Set point",
            "Qt::AlignCenter");
    f.label("LabelWord", QRect(kWordLeft, head.y(), kWordWidth, 20), "Word", "Qt::AlignCenter");
    f.label("LabelTemp", QRect(kTempLeft, head.y(), kTempWidth, 20), "Ref. temp. °C", "Qt::AlignCenter");
    for (int k = 0; k < p.channelCount; ++k) {
        const Channel c = p.channels[k];
        const int y = kRowTop + k * kRowStep;
        f.label(std::string("Label") + ChannelName(c), QRect(kLabelLeft, y, kLabelWidth, kFieldHeight),
                ChannelLabel(c));
        for (int j = 0; j < kCoefs; ++j)
            f.number(CoefficientCtrl(c, j), QRect(kCoefLeft + j * kCoefStep, y, kCoefWidth, kFieldHeight),
                     false, CoefficientCallbackName(p.number));
        f.number(SetPointValueCtrl(c), QRect(kSetPointLeft, y, kSetPointWidth, kFieldHeight), true);
        f.word(SetPointWordCtrl(c), QRect(kWordLeft, y, kWordWidth, kFieldHeight));
    }
    f.word(kEditTemp, QRect(kTempLeft, kRowTop, kTempWidth, kFieldHeight),
           DataCallbackName(p.number, DataRole::EditTemp));
}

// One chart column: title, calculation and chart-choice buttons, and the charts sharing one place.
void ChartColumn(Form &f, const PanelDesc &p, int side, int top) {
    const bool cf = side == 1;
    const int left = kChartLeft[side], right = left + kChartWidth;
    const DataRole calc = cf ? DataRole::ButtonCalcCalib : DataRole::ButtonCalcCurves;
    const DataRole show[3] = {cf ? DataRole::ButtonShowCfRed : DataRole::ButtonShowRed,
                              cf ? DataRole::ButtonShowCfGreen : DataRole::ButtonShowGreen,
                              cf ? DataRole::ButtonShowCfBlue : DataRole::ButtonShowBlue};
    QRect title(left, top, 160, 26);
    f.begin("QLabel", cf ? "LabelCfCharts" : "LabelCurveCharts", title);
    f.text(cf ? "Correction factors" : "Temperature curves");
    f.bold();
    f.end();
    int x = right;
    if (p.chartChoice)
        for (int k = 2; k >= 0; --k) {
            x -= 60;
            f.button(DataRoleName(show[k]), QRect(x, top, 58, 26), ChannelLabel(p.channels[k]),
                     DataCallbackName(p.number, show[k]));
            x -= 2;
        }
    f.button(DataRoleName(calc), QRect(x - 130, top, 124, 26), cf ? "Calculate factors" : "Calculate curves",
             DataCallbackName(p.number, calc));

    const QRect place(left, top + 32, kChartWidth, kCheckRow - 8 - (top + 32));
    if (HasChannelCharts(p))
        for (int k = 0; k < p.channelCount; ++k) {
            const Channel c = p.channels[k];
            f.chart(cf ? CfChartCtrl(c) : CurveChartCtrl(c), place, 1, TraceColor(c), !HasCombinedCharts(p));
        }
    if (HasCombinedCharts(p)) {
        QStringList colors;
        for (int k = 0; k < p.channelCount; ++k)
            colors << TraceColor(p.channels[k]);
        f.chart(cf ? kCfChartAll : kCurveChartAll, place, p.channelCount, colors.join(','), true);
    }
}

// Transfer button, its progress and outcome, and the equation-file buttons.
void BottomRow(Form &f, const PanelDesc &p) {
    const int y = kBottomRow;
    f.button(DataRoleName(DataRole::ButtonSendCF), QRect(10, y, 150, 30), "Send to sensor",
             DataCallbackName(p.number, DataRole::ButtonSendCF));
    f.begin("QProgressBar", kTransferProgress, QRect(170, y + 3, 200, 24));
    f.prop("maximum", "number", "1000");
    f.prop("value", "number", "0");
    f.end();
    f.display(kTransferStatus, QRect(380, y + 3, 110, 24));
    f.display(kCoefState, QRect(500, y + 3, 230, 24), kCoefStateCallback);
    f.display(kCalCheck, QRect(10, kCheckRow, kPanelWidth - 20, 24), kCalCheckCallback);
    f.button(DataRoleName(DataRole::ButtonSaveEquation), QRect(740, y, 120, 30), "Save equation…",
             DataCallbackName(p.number, DataRole::ButtonSaveEquation));
    f.button(DataRoleName(DataRole::ButtonGetEquation), QRect(870, y, 120, 30), "Load equation…",
             DataCallbackName(p.number, DataRole::ButtonGetEquation));
}

QString DataPanels() {
    QString out;
    Form f(&out);
    for (int n = 1; n <= kDataPanels; ++n) {
        const PanelDesc &p = DataPanelDesc(n);
        f.startPanel(n);
        CoefficientTable(f, p);
        ChartColumn(f, p, 0, kRowTop + p.channelCount * kRowStep + 12);
        ChartColumn(f, p, 1, kRowTop + p.channelCount * kRowStep + 12);
        BottomRow(f, p);
        f.end();
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelvra_formgen <form.ui.in> <output>\n");
        return 2;
    }
    QFile in(argv[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kelvra_formgen: cannot read %s\n", argv[1]);
        return 1;
    }
    QString form = QString::fromUtf8(in.readAll());
    const qsizetype at = form.indexOf(kMarker);
    if (at < 0) {
        std::fprintf(stderr, "kelvra_formgen: %s has no %s line\n", argv[1], kMarker);
        return 1;
    }
    const qsizetype lineStart = form.lastIndexOf('\n', at) + 1;
    const qsizetype lineEnd = form.indexOf('\n', at);
    form.replace(lineStart, (lineEnd < 0 ? form.size() : lineEnd + 1) - lineStart, DataPanels());
    QFile out(argv[2]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(form.toUtf8()) < 0 ||
        !out.flush()) {
        std::fprintf(stderr, "kelvra_formgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
