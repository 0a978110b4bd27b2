// Runs KelvraV12 in-process for tests: its panel resource file in a temporary
// program directory, a simulated sensor behind loopback TCP or a
// pseudo-terminal, popups answered and recorded.
#pragma once

#include "kelvra/startup.h"
#include "kelvralink/kelvradata.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>

enum class Transport { Tcp, Serial };

class KelvraProgram : public ::testing::Test {
  protected:
    // The serial port number the tests put the simulated sensor's pseudo-terminal behind.
    static constexpr int kSimPort = 5;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::copy(KELVRA_DIR "/KelvraV12.uir", dir.filePath("KelvraV12.uir")));
        runtime::SetProjectDir(dir.path().toStdString());
        SetPopupResponder(
            [this](const PopupRecord &popup, std::string &path) { return AnswerPopup(popup, path); });
        ClearRecordedPopups();
        ClearUnknownControlNames();
    }

    void TearDown() override {
        kelvraprogram::ShutdownKelvra();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        runtime::MapComPort(kSimPort, "");
        SetPopupResponder({});
        runtime::SetProjectDir("");
        EXPECT_TRUE(UnknownControlNames().empty())
            << "asked for a control the form lacks: " << UnknownControlNames().front();
    }

    // Answers popups as a person would; file dialogs choose filePath.
    virtual int AnswerPopup(const PopupRecord &popup, std::string &path) {
        if (popup.kind == PopupRecord::FileSelect) {
            path = filePath;
            return filePath.empty() ? VAL_NO_FILE_SELECTED : VAL_EXISTING_FILE_SELECTED;
        }
        return 1;
    }

    // Stores settings that reach the simulated sensor and starts the program.
    int Start(const std::string &version, Transport transport = Transport::Tcp) {
        sensor.setVersion(version);
        if (transport == Transport::Tcp) {
            WriteSettings("1\r\n1\r\n127.0.0.1\r\n" + std::to_string(sensor.listenTcp()) + "\r\n");
        } else {
            runtime::MapComPort(kSimPort, sensor.openPty());
            WriteSettings("0\r\n" + std::to_string(kSimPort) + "\r\n\r\n\r\n");
        }
        return kelvraprogram::StartKelvra();
    }

    void WriteSettings(const std::string &lines) { WriteFileBytes(InDir("ComSettings.cfg"), lines); }
    std::string InDir(const std::string &name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }

    // The data panel (1..6) on show, 0 when none, -1 when more than one.
    static int VisibleDataPanel() {
        int shown = 0;
        for (int n = 1; n <= kelvralink::kDataPanels; ++n) {
            int visible = 0;
            GetPanelAttribute(kelvralink::kpanels.datapanel[n], ATTR_VISIBLE, visible);
            if (visible) shown = shown ? -1 : n;
        }
        return shown;
    }

    static QWidget *Widget(int panel, const std::string &name) {
        QWidget *w = CtrlWidget(panel, name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Click(int panel, const std::string &name) {
        if (QWidget *w = Widget(panel, name)) QTest::mouseClick(w, Qt::LeftButton);
    }
    static void RightClick(int panel, const std::string &name) {
        if (QWidget *w = Widget(panel, name)) QTest::mouseClick(w, Qt::RightButton);
    }
    // Types a value into a field as a person would and confirms it with Enter.
    static void Type(int panel, const std::string &name, const QString &text) {
        QWidget *w = Widget(panel, name);
        if (!w) return;
        w->setFocus();
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, text);
        QTest::keyClick(w, Qt::Key_Return);
    }

    QTemporaryDir dir;
    sim::SimSensor sensor;
    std::string filePath;
};
