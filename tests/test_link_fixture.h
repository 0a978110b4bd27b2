// Shared set-up of the link's tests: the tests' own panels loaded offscreen,
// the link reset, popups answered and recorded, files in a temporary folder,
// and the two ways a program can configure the link.
#pragma once

#include "link/com232.h"
#include "link/combobox.h"
#include "link/comsettings.h"
#include "link/connectpanel.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/tcpsupp.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "tests/test_support.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifndef LINK_TEST_UIR
#error "LINK_TEST_UIR names the link tests' resource file (set by ui/CMakeLists.txt)"
#endif

// A serial port number that no real device sits behind in the tests.
constexpr int kTestComPort = 40;

// A loopback port on which nobody listens.
inline int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A block command of the compensation tool and its echo check.
inline void SendBlock(uint16_t address) {
    com.order = 180;
    FillTxBuf(com.order, 0, address, 0);
    if (com.comprotocol == 0) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
    }
    SendTxBuf();
    CheckEcho(2);
}

// Frame images a program would own.
struct ProgramArrays {
    uint16_t pp[kAnzPara] = {};
    uint16_t databuf[kFrameWords] = {};
    uint16_t dataCfSendBuf[kCfSendWords] = {};
};

// Link settings as the compensation tool makes them: echoes within 2 s,
// connect errors in a popup, the connection panel a window of its own.
inline LinkProgram CompensationToolLink(ProgramArrays &arrays, int statusPanel, int interfacepanel) {
    LinkProgram p;
    p.frameSource = FrameSource::CompensationWords;
    p.dataCfSendBuf = &arrays.dataCfSendBuf;
    p.echoTimeout = 2.0;
    p.mainpanel = statusPanel; // the tests' main panel holds ButtonConnect too
    p.statusPanel = statusPanel;
    p.interfacepanel = interfacepanel;
    p.tcpErrorPopup = true;
    return p;
}

// Link settings as the parameter tool makes them: frames from pp, echoes within
// 3 s, errors in both status fields, a stop flag.
inline LinkProgram ParameterToolLink(ProgramArrays &arrays, uint16_t *poll, int statusPanel,
                                     int interfacepanel) {
    LinkProgram p;
    p.frameSource = FrameSource::ParameterRecord;
    p.pp = &arrays.pp;
    p.databuf = &arrays.databuf;
    p.echoTimeout = 3.0;
    p.mainpanel = statusPanel; // the tests' main panel holds ButtonConnect too
    p.statusPanel = statusPanel;
    p.interfacepanel = interfacepanel;
    p.errorsToConnectPanel = true;
    p.eventsWhileReading = true;
    p.poll = poll;
    return p;
}

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ResetLinkState();
        RegisterLinkCallbacks();
        mainPanel = LoadPanel(0, LINK_TEST_UIR, 1);
        interfacePanel = LoadPanel(0, LINK_TEST_UIR, 2);
        ASSERT_GT(mainPanel, 0);
        ASSERT_GT(interfacePanel, 0);
        linkProgram = CompensationToolLink(arrays, mainPanel, interfacePanel);
        SetLinkFileNames(dir.path().toStdString());
        ClearRecordedPopups();
        SetPopupResponder([](const PopupRecord &, std::string &) { return 1; });
        ClearUnknownControlNames();
    }

    void TearDown() override {
        EXPECT_TRUE(UnknownControlNames().empty())
            << "asked for a control the form lacks: " << UnknownControlNames().front();
        if (com.tcpcon) DisconnectFromTCPServer(com.g_hconversation);
        CloseCom(com.comport);
        MapComPort(kTestComPort, "");
        if (com.ipCombo > 0) Combo_DiscardComboBox(interfacePanel, com.ipCombo);
        DiscardPanel(mainPanel);
        DiscardPanel(interfacePanel);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetPopupResponder({});
        linkProgram = LinkProgram{};
        ResetLinkState();
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
    ProgramArrays arrays;
    uint16_t poll = 0;
    int mainPanel = 0;
    int interfacePanel = 0;
};
