// Fields read what the user typed, in the desktop's locale, and commit when the
// user confirms or leaves them; values beyond a control's range stay as they are;
// save dialogs ask before replacing a file.
#include "runtime/numbers.h"
#include "tests/test_support.h"
#include "tests/test_uipanel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cmath>
#include <random>

using namespace runtime;

namespace {

TEST(NumberRule, ReadsTheLocalesSeparatorAndThePointAndNothingElse) {
    struct Case {
        const char *locale, *text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"de_DE", "2,5", 2.5},
        {"de_DE", "1.5", 1.5},
        {"de_DE", " -1,5e3 ", -1500.0},
        {"de_DE", ",5", 0.5},
        {"de_DE", "+7", 7.0},
        {"de_DE", "1.000,5", std::nullopt},
        {"de_DE", "1,2,3", std::nullopt},
        {"de_DE", "abc", std::nullopt},
        {"de_DE", "", std::nullopt},
        {"de_DE", "1e999", std::nullopt},
        {"en_US", "2.5", 2.5},
        {"en_US", "2,5", std::nullopt},
        {"en_US", "1,000", std::nullopt},
        {"C", "0.125", 0.125},
        {"C", "5.", 5.0},
        // Where "." groups thousands, "." and exactly three digits read two ways: refused.
        {"de_DE", "1.000", std::nullopt},
        {"de_DE", "-12.345", std::nullopt},
        {"de_DE", "1.0005", 1.0005},
        {"de_DE", "1.50", 1.5},
        {"de_DE", "1,000", 1.0},
        {"de_DE", "1.000e2", 100.0},
        {"en_US", "1.000", 1.0},
        {"C", "1.000", 1.0},
    };
    for (const Case &c : cases) {
        ScopedLocale locale(c.locale);
        EXPECT_EQ(ParseTypedNumber(c.text), c.value) << c.locale << " \"" << c.text << "\"";
    }
    ScopedLocale german("de_DE");
    EXPECT_EQ(ParseTypedWholeNumber("1200"), 1200);
    EXPECT_EQ(ParseTypedWholeNumber("-3"), -3);
    for (const char *bad : {"1.5", "1,5", "1.000", "12a", "", "-"})
        EXPECT_EQ(ParseTypedWholeNumber(bad), std::nullopt) << bad;
    // Plain notation, as coefficients are typed, unless the exponent form is much shorter.
    const struct {
        double value;
        const char *shown;
    } formats[] = {{2.5, "2,5"},
                   {0.0001, "0,0001"},
                   {-0.00025, "-0,00025"},
                   {1e-7, "0,0000001"},
                   {0.000123456789, "0,000123456789"},
                   {1234.5, "1234,5"},
                   {-1.2345678e-07, "-0,00000012345678"},
                   {1e-10, "1e-10"},
                   {1e20, "1e+20"},
                   {0.0, "0"}};
    for (const auto &f : formats)
        EXPECT_EQ(FormatTypedNumber(f.value), f.shown) << f.value;
    EXPECT_EQ(FormatRoundedNumber(674.2612345678901, 6), "674,261");
}

TEST(NumberRule, AnAmbiguousThousandSaysHowToTypeItPlainly) {
    ScopedLocale german("de_DE");
    EXPECT_EQ(AmbiguousNumberNote("1.000", false), "Type 1000, or 1,000 for 1.");
    EXPECT_EQ(AmbiguousNumberNote(" -12.345 ", false), "Type -12345, or -12,345 for -12,345.");
    EXPECT_EQ(AmbiguousNumberNote("1.000", true), "Type 1000.");
    for (const char *plain : {"1,000", "1.5", "1.0005", "1000", "1.000,5"})
        EXPECT_EQ(AmbiguousNumberNote(plain, false), "") << plain;
    ScopedLocale english("en_US");
    EXPECT_EQ(AmbiguousNumberNote("1.000", false), "");
}

TEST(NumberRule, FormattedNumbersReadBackExactlyInEveryLocale) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (const char *name : {"de_DE", "en_US", "fr_FR", "C"}) {
        ScopedLocale locale(name);
        for (int i = 0; i < 2000; ++i) {
            const double v = std::ldexp(mantissa(random), exponent(random));
            ASSERT_EQ(ParseTypedNumber(FormatTypedNumber(v)), v) << name << " " << v;
        }
    }
}

class Fields : public UserInterface {
  protected:
    void SetUp() override {
        UserInterface::SetUp();
        ASSERT_TRUE(ActivateWindowOf(PanelWidget(panel)));
    }
    void TypeInto(const char *name, const QString &text) {
        QWidget *w = CtrlWidget(panel, name);
        w->setFocus();
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, text);
    }
    static QString Refusal(const char *name, int panel) {
        return CtrlWidget(panel, name)->property("_lastRefusal").toString();
    }
    int Count(const char *name, int event) {
        auto got = EventsOf(id(name));
        return static_cast<int>(std::count(got.begin(), got.end(), event));
    }
    ScopedLocale german{"de_DE"};
};

TEST_F(Fields, LeavingAFieldByTabOrByClickCommitsWhatWasTyped) {
    TypeInto("EditText", "server-7");
    EXPECT_EQ(Count("EditText", EVENT_COMMIT), 0);
    QTest::keyClick(CtrlWidget(panel, "EditText"), Qt::Key_Tab);
    EXPECT_EQ(Count("EditText", EVENT_COMMIT), 1);

    TypeInto("EditCoef", "2,5");
    QTest::mouseClick(CtrlWidget(panel, "EditText"), Qt::LeftButton);
    EXPECT_EQ(Count("EditCoef", EVENT_COMMIT), 1);
    double d = 0;
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, 2.5);

    TypeInto("EditNum", "1200");
    QTest::keyClick(CtrlWidget(panel, "EditNum"), Qt::Key_Tab);
    EXPECT_EQ(Count("EditNum", EVENT_COMMIT), 1);
    int n = 0;
    GetCtrlVal(panel, "EditNum", n);
    EXPECT_EQ(n, 1200);

    // Passing through a field without typing commits nothing.
    events.clear();
    CtrlWidget(panel, "EditText")->setFocus();
    QTest::keyClick(CtrlWidget(panel, "EditText"), Qt::Key_Tab);
    EXPECT_EQ(Count("EditText", EVENT_COMMIT), 0);
}

TEST_F(Fields, AButtonThatTakesNoFocusStillActsOnTheTypedValue) {
    // As with a shortcut key, the field keeps the focus while the button acts.
    CtrlWidget(panel, "ButtonGo")->setFocusPolicy(Qt::NoFocus);
    TypeInto("EditCoef", "0,75");
    QTest::mouseClick(CtrlWidget(panel, "ButtonGo"), Qt::LeftButton);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2].control, id("EditCoef"));
    EXPECT_EQ(events[events.size() - 2].event, EVENT_COMMIT);
    EXPECT_EQ(events.back().control, id("ButtonGo"));
    double d = 0;
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, 0.75);
}

TEST_F(Fields, ConfirmingAnUnchangedValueCommitsOnce) {
    SetCtrlVal(panel, "EditNum", 42);
    SetCtrlVal(panel, "EditCoef", 1.5);
    for (const char *name : {"EditNum", "EditCoef", "EditText"}) {
        CtrlWidget(panel, name)->setFocus();
        QTest::keyClick(CtrlWidget(panel, name), Qt::Key_Return);
        EXPECT_EQ(Count(name, EVENT_COMMIT), 1) << name;
    }
    // A changed value commits once as well, with its value-changed event.
    events.clear();
    TypeInto("EditNum", "43");
    QTest::keyClick(CtrlWidget(panel, "EditNum"), Qt::Key_Return);
    EXPECT_EQ(Count("EditNum", EVENT_COMMIT), 1);
    EXPECT_EQ(Count("EditNum", EVENT_VAL_CHANGED), 1);
}

TEST_F(Fields, UnreadableNumbersAreRefusedVisiblyAndTheFieldKeepsItsValue) {
    SetCtrlVal(panel, "EditCoef", 1.5);
    SetCtrlVal(panel, "EditNum", 42);
    struct Case {
        const char *field, *typed;
    };
    bool enter = false; // confirmed with Enter and with Tab by turns
    for (const Case &c : {Case{"EditCoef", "abc"}, Case{"EditCoef", "1.000,5"}, Case{"EditCoef", "-"},
                          Case{"EditNum", "1.5"}, Case{"EditNum", "1,000"}, Case{"EditNum", "70000"}}) {
        events.clear();
        CtrlWidget(panel, c.field)->setProperty("_lastRefusal", QVariant());
        TypeInto(c.field, c.typed);
        QTest::keyClick(CtrlWidget(panel, c.field), enter ? Qt::Key_Return : Qt::Key_Tab);
        enter = !enter;
        EXPECT_EQ(Count(c.field, EVENT_VAL_CHANGED), 0) << c.typed;
        EXPECT_EQ(Count(c.field, EVENT_COMMIT), 0) << c.typed;
        EXPECT_FALSE(Refusal(c.field, panel).isEmpty()) << c.typed;
    }
    double d = 0;
    int n = 0;
    GetCtrlVal(panel, "EditCoef", d);
    GetCtrlVal(panel, "EditNum", n);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(qobject_cast<QLineEdit *>(CtrlWidget(panel, "EditCoef"))->text(), "1,5");
    EXPECT_EQ(qobject_cast<QSpinBox *>(CtrlWidget(panel, "EditNum"))->text(), "42");
}

// The refusal note under a field, as the user sees it; empty when none shows.
QString NoteShown(QWidget *field) {
    auto *note = field->window()->findChild<QLabel *>("refusalNote");
    return note && note->isVisible() ? note->text() : QString();
}

TEST_F(Fields, OneDotThousandInAGermanDesktopIsRefusedWithHowToTypeIt) {
    SetCtrlVal(panel, "EditCoef", 1.5);
    SetCtrlVal(panel, "EditNum", 42);
    const struct {
        const char *field, *plainly;
    } fields[] = {{"EditCoef", "Type 1000, or 1,000 for 1."}, {"EditNum", "Type 1000."}};
    for (const auto &f : fields) {
        events.clear();
        TypeInto(f.field, "1.000");
        QTest::keyClick(CtrlWidget(panel, f.field), Qt::Key_Tab);
        EXPECT_EQ(Count(f.field, EVENT_COMMIT), 0) << f.field;
        const QString note = NoteShown(CtrlWidget(panel, f.field));
        EXPECT_TRUE(note.contains("\"1.000\"") && note.endsWith(f.plainly)) << note.toStdString();
        // Typed plainly, it is taken.
        TypeInto(f.field, "1000");
        QTest::keyClick(CtrlWidget(panel, f.field), Qt::Key_Tab);
        EXPECT_EQ(Count(f.field, EVENT_COMMIT), 1) << f.field;
    }
    double d = 0;
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, 1000.0);
    EXPECT_EQ(qobject_cast<QLineEdit *>(CtrlWidget(panel, "EditCoef"))->text(), "1000");
    // With "," for thousands, as in an English desktop, "1.000" is one.
    ScopedLocale english("en_US");
    TypeInto("EditCoef", "1.000");
    QTest::keyClick(CtrlWidget(panel, "EditCoef"), Qt::Key_Tab);
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, 1.0);
}

TEST_F(Fields, ARefusedEntryShowsItsNoteHoweverTheFieldIsLeft) {
    enum class Leave { Enter, Tab, Click };
    for (const char *field : {"EditCoef", "EditNum"}) {
        for (Leave leave : {Leave::Enter, Leave::Tab, Leave::Click}) {
            if (auto *note = PanelWidget(panel)->findChild<QLabel *>("refusalNote")) note->hide();
            QWidget *w = CtrlWidget(panel, field);
            TypeInto(field, "abc");
            if (leave == Leave::Enter)
                QTest::keyClick(w, Qt::Key_Return);
            else if (leave == Leave::Tab)
                QTest::keyClick(w, Qt::Key_Tab);
            else
                QTest::mouseClick(CtrlWidget(panel, "EditText"), Qt::LeftButton);
            const QString note = NoteShown(w);
            EXPECT_TRUE(note.contains("\"abc\""))
                << field << " left by " << int(leave) << ": " << note.toStdString();
            EXPECT_EQ(note, Refusal(field, panel));
        }
    }
}

TEST_F(Fields, ValuesBeyondTheRangeOrListStayAsTheyAreUntilTheUserChangesThem) {
    auto *spin = qobject_cast<QSpinBox *>(CtrlWidget(panel, "EditNum"));
    SetCtrlAttribute(panel, "EditNum", ATTR_TOOLTIP_TEXT, std::string("help"));
    spin->setMaximum(1000);
    SetCtrlVal(panel, "EditNum", 5000);
    int n = 0;
    GetCtrlVal(panel, "EditNum", n);
    EXPECT_EQ(n, 5000);
    EXPECT_EQ(spin->text(), "5000");
    EXPECT_TRUE(spin->toolTip().contains("outside the usual range 0..1000")) << spin->toolTip().toStdString();
    TypeInto("EditNum", "700");
    QTest::keyClick(spin, Qt::Key_Return);
    GetCtrlVal(panel, "EditNum", n);
    EXPECT_EQ(n, 700);
    EXPECT_EQ(spin->maximum(), 1000);
    EXPECT_EQ(spin->toolTip(), "help");

    auto *ring = qobject_cast<QComboBox *>(CtrlWidget(panel, "Ring"));
    EXPECT_EQ(SetCtrlVal(panel, "Ring", 999), 0);
    GetCtrlVal(panel, "Ring", n);
    EXPECT_EQ(n, 999);
    EXPECT_EQ(ring->count(), 4);
    EXPECT_TRUE(ring->currentText().contains("999"));
    SetCtrlVal(panel, "Ring", 200);
    EXPECT_EQ(ring->count(), 3);
}

TEST(FileDialogs, TheFirstOpensInTheUsersFoldersNeverInAHiddenOne) {
    QTemporaryDir dir;
    const QString hidden = dir.filePath(".config/sensor-scopes/VexaV32");
    ASSERT_TRUE(QDir().mkpath(hidden));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const std::string users =
        (!documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath()).toStdString();
    ForgetLastFileFolder();
    ClearRecordedPopups();
    SetPopupResponder(
        [](const PopupRecord &, std::string &) { return static_cast<int>(VAL_NO_FILE_SELECTED); });
    std::string path;
    FileSelectPopup(hidden.toStdString(), "linktrace.txt", "*.txt", "Link trace file", VAL_OK_BUTTON, 0, 0, 1,
                    1, path);
    FileSelectPopup(dir.path().toStdString(), "record.dat", "*.dat", "FILENAME!", VAL_OK_BUTTON, 0, 0, 1, 1,
                    path);
    ASSERT_EQ(RecordedPopups().size(), 2u);
    EXPECT_EQ(RecordedPopups()[0].directory, users);
    EXPECT_EQ(RecordedPopups()[1].directory, dir.path().toStdString()) << "a folder of the user's own";
    SetPopupResponder({});
}

TEST_F(Fields, SaveDialogsAskBeforeReplacingAndOpenWhereTheLastFileWas) {
    QTemporaryDir dir;
    const std::string existing = dir.filePath("kept.equ").toStdString();
    WriteFileBytes(existing, "1\n");
    ForgetLastFileFolder();
    ClearRecordedPopups();
    std::vector<int> confirmAnswers = {0, 1};
    SetPopupResponder([&](const PopupRecord &p, std::string &path) {
        if (p.kind == PopupRecord::FileSelect) {
            path = existing;
            return static_cast<int>(VAL_EXISTING_FILE_SELECTED);
        }
        int answer = confirmAnswers.front();
        confirmAnswers.erase(confirmAnswers.begin());
        return answer;
    });
    std::string path;
    // No to "replace?" shows the dialog again, in the folder of the file; Yes takes it.
    EXPECT_EQ(
        FileSaveSelectPopup("/tmp", "equation.equ", "*.equ", "equation", VAL_OK_BUTTON, 0, 1, 1, 1, path),
        VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, existing);
    const auto &shown = RecordedPopups();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].directory, "/tmp");
    EXPECT_EQ(shown[1].kind, PopupRecord::Confirm);
    EXPECT_EQ(shown[2].directory, dir.path().toStdString());
    EXPECT_EQ(shown[3].kind, PopupRecord::Confirm);

    // The save worked: the next dialog, an open one, starts there without asking.
    WriteFileBytes(existing, "2\n");
    ClearRecordedPopups();
    EXPECT_EQ(FileSelectPopup("/tmp", "equation.equ", "*.equ", "equation", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_EXISTING_FILE_SELECTED);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].directory, dir.path().toStdString());
    ForgetLastFileFolder();
}

TEST_F(Fields, ASaveDialogOpensWhereTheLastSaveWorkedNotWhereOneFailed) {
    QTemporaryDir worked, failed;
    ForgetLastFileFolder();
    std::string offer;
    SetPopupResponder([&](const PopupRecord &p, std::string &path) {
        path = offer;
        return p.kind == PopupRecord::FileSelect ? static_cast<int>(VAL_NEW_FILE_SELECTED) : 1;
    });
    auto save = [&](const QTemporaryDir &into, bool works) {
        offer = into.filePath("set.par").toStdString();
        std::string path;
        ClearRecordedPopups();
        FileSaveSelectPopup("/tmp", "set.par", "*.par", "save", VAL_SAVE_BUTTON, 0, 1, 1, 1, path);
        if (works) WriteFileBytes(path, "1\n");
        return RecordedPopups().at(0).directory;
    };
    save(worked, true);
    EXPECT_EQ(save(failed, false), worked.path().toStdString());
    // The failed save's folder is not where the next one starts.
    EXPECT_EQ(save(worked, true), worked.path().toStdString());
    EXPECT_EQ(save(worked, true), worked.path().toStdString());
    ForgetLastFileFolder();
}

TEST_F(Fields, AFileDialogListsSizesAndDatesInItsOwnLanguageInAGermanDesktop) {
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath("set.par").toStdString(), std::string(1536, 'x'));
    QString size, type, date;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto *list = dialog->findChild<QTreeView *>("treeView");
        QAbstractItemModel *model = list ? list->model() : nullptr;
        auto row = [&] {
            const QModelIndex root = list->rootIndex();
            for (int r = 0; r < model->rowCount(root); ++r)
                if (model->index(r, 0, root).data().toString() == "set.par") return r;
            return -1;
        };
        if (model && QTest::qWaitFor([&] { return row() >= 0; }, 5000)) {
            const QModelIndex root = list->rootIndex();
            size = model->index(row(), 1, root).data().toString();
            type = model->index(row(), 2, root).data().toString();
            date = model->index(row(), 3, root).data().toString();
        }
        dialog->reject();
    });
    std::string path;
    FileSelectPopup(dir.path().toStdString(), "", "*.par", "load", VAL_LOAD_BUTTON, 1, 0, 0, 0, path);
    EXPECT_EQ(size, "1.5 kB"); // "1,5 kB" in German
    EXPECT_EQ(type, "PAR File");
    EXPECT_TRUE(date.contains('/') && !date.contains('.')) << date.toStdString();
}

TEST_F(Fields, AMessageWithAShortTextStillShowsItsWholeTitle) {
    int width = 0, title = 0;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            width = box->width();
            title = box->fontMetrics().horizontalAdvance(box->windowTitle());
            box->accept();
        }
    });
    MessagePopup("TCP Client", "x");
    // The title bar's icon and buttons take about a hundred pixels beside the title.
    EXPECT_GE(width, title + 100);
}

} // namespace
