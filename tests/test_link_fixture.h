// Shared set-up of the link's tests: the tests' own panels loaded offscreen,
// the link reset, popups answered and recorded, files in a temporary folder,
// and the two ways a program can configure the link.
#pragma once

#include "kelvralink/transfer.h"
#include "link/com232.h"
#include "link/combobox.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/serialports.h"
#include "tests/test_support.h"
#include "vexalink/paralink.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#ifndef LINK_TEST_UIR
#error "LINK_TEST_UIR names the link tests' resource file (set by ui/CMakeLists.txt)"
#endif

// A serial port number that no real device sits behind in the tests.
constexpr int kTestComPort = 40;

// A block command of the compensation tool and its echo check.
inline void SendBlock(uint16_t address) {
    programlink::FillTxBuf(180, 0, address, 0);
    programlink::LinkSensor().discardQueues();
    programlink::SendTxBuf();
    programlink::CheckEcho(2);
}

// The frame sources of the two programs, over word arrays of the test's own.
struct ProgramFrames {
    uint16_t compensationWords[kelvralink::kCfSendWords] = {};
    vexalink::ParaState parameters;
    kelvralink::CompensationFrames compensation{compensationWords};
    vexalink::ParameterFrames parameter{parameters};
};

// Link settings as the compensation tool makes them: echoes within 2 s,
// connect errors in a popup, the connection panel a window of its own.
inline programlink::LinkProgram CompensationToolLink(ProgramFrames &frames, int statusPanel,
                                                     int interfacepanel) {
    programlink::LinkProgram p;
    p.frames = &frames.compensation;
    p.echoTimeout = 2.0;
    p.mainpanel = statusPanel; // the tests' main panel holds ButtonConnect too
    p.statusPanel = statusPanel;
    p.interfacepanel = interfacepanel;
    p.tcpErrorPopup = true;
    return p;
}

// Link settings as the parameter tool makes them: frames from its record,
// echoes within 3 s, errors in both status fields, a stop flag.
inline programlink::LinkProgram ParameterToolLink(ProgramFrames &frames, uint16_t *poll, int statusPanel,
                                                  int interfacepanel) {
    programlink::LinkProgram p;
    p.frames = &frames.parameter;
    p.echoTimeout = 3.0;
    p.mainpanel = statusPanel; // the tests' main panel holds ButtonConnect too
    p.statusPanel = statusPanel;
    p.interfacepanel = interfacepanel;
    p.errorsToConnectPanel = true;
    p.poll = poll;
    return p;
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        programlink::ResetLinkState();
        programlink::RegisterLinkCallbacks();
        mainPanel = LoadPanel(0, LINK_TEST_UIR, 1);
        interfacePanel = LoadPanel(0, LINK_TEST_UIR, 2);
        ASSERT_GT(mainPanel, 0);
        ASSERT_GT(interfacePanel, 0);
        programlink::linkProgram = CompensationToolLink(frames, mainPanel, interfacePanel);
        programlink::SetLinkFileNames(dir.path().toStdString());
        ClearRecordedPopups();
        SetPopupResponder([](const PopupRecord &, std::string &) { return 1; });
        ClearUnknownControlNames();
    }

    void TearDown() override {
        EXPECT_TRUE(UnknownControlNames().empty())
            << "asked for a control the form lacks: " << UnknownControlNames().front();
        programlink::LinkSensor().close();
        runtime::MapComPort(kTestComPort, "");
        if (programlink::com.ipCombo > 0)
            programlink::Combo_DiscardComboBox(interfacePanel, programlink::com.ipCombo);
        DiscardPanel(mainPanel);
        DiscardPanel(interfacePanel);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetPopupResponder({});
        programlink::linkProgram = programlink::LinkProgram{};
        programlink::ResetLinkState();
    }

    std::string Text(int panel, const char *roleName) {
        std::string s;
        GetCtrlVal(panel, roleName, s);
        return s;
    }
    int Dimmed(int panel, const char *roleName) {
        int dimmed = -1;
        GetCtrlAttribute(panel, roleName, ATTR_DIMMED, dimmed);
        return dimmed;
    }
    int Visible(int panel, const char *roleName) {
        int visible = -1;
        GetCtrlAttribute(panel, roleName, ATTR_VISIBLE, visible);
        return visible;
    }
    std::string File(const char *name) { return dir.filePath(name).toStdString(); }
    std::vector<PopupRecord> Popups() { return RecordedPopups(); }

    QTemporaryDir dir;
    ProgramFrames frames;
    uint16_t poll = 0;
    int mainPanel = 0;
    int interfacePanel = 0;
};
