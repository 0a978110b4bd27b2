// The two configuration files of the link, ComSettings.cfg and IPComboBox.cfg:
// exact bytes, round trips, hand-edited, cut and garbage files, and the panel
// steps that read and write them.
#include "link/servercombo.h"
#include "linksettings/comsettings.h"
#include "linksettings/serverlist.h"
#include "runtime/formatio.h"
#include "tests/test_link_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <tuple>

using namespace linksettings;
using namespace runtime;
using namespace programlink;

namespace {

std::string Record(const std::string &name, const std::string &lineEnd = "\n") {
    std::string r = name;
    r.resize(100, '\0');
    return r + lineEnd;
}

class SettingsTest : public LinkTest {
  protected:
    void SetPanel(int protocol, int port, const char *server, const char *portText) {
        SetCtrlVal(interfacePanel, "EditCommunicationProtocol", protocol);
        SetCtrlVal(interfacePanel, "EditSelectComPort", port);
        SetCtrlVal(interfacePanel, "StringIpAdress", server);
        SetCtrlVal(interfacePanel, "StringPortNumber", portText);
    }
    std::vector<std::string> ListItems() {
        std::vector<std::string> items;
        int count = 0;
        Combo_GetNumComboItems(interfacePanel, com.ipCombo, count);
        for (int i = 0; i < count; ++i) {
            std::string item;
            Combo_GetComboItem(interfacePanel, com.ipCombo, i, item);
            items.push_back(item);
        }
        return items;
    }
    void Commit(const std::string &server) {
        auto *edit = qobject_cast<QLineEdit *>(CtrlWidget(interfacePanel, "StringIpAdress"));
        edit->clear();
        QTest::keyClick(edit, Qt::Key_Backspace); // no proposal for what follows
        QTest::keyClicks(edit, QString::fromStdString(server));
        edit->setText(QString::fromStdString(server));
        QTest::keyClick(edit, Qt::Key_Return);
    }
};

TEST_F(SettingsTest, SettingsFileHoldsFourPlainLinesAndReadsBack) {
    com.comprotocol = 1;
    com.comport = 12;
    CopyText(com.ipBuf, "sensor-gw.example");
    CopyText(com.portNumStr, "10001");
    ASSERT_TRUE(WriteComSettings(File("ComSettings.cfg")));
    EXPECT_EQ(ReadFileBytes(File("ComSettings.cfg")), "1\n12\nsensor-gw.example\n10001\n");
    ResetLinkState();
    ASSERT_TRUE(ReadComSettings(File("ComSettings.cfg")));
    EXPECT_EQ(com.comprotocol, 1);
    EXPECT_EQ(com.comport, 12);
    EXPECT_STREQ(com.ipBuf, "sensor-gw.example");
    EXPECT_STREQ(com.portNumStr, "10001");
}

TEST_F(SettingsTest, DevicePathGoesIntoAFifthLineThatFourLineReadersPassOver) {
    com.comprotocol = 0;
    com.comport = 3;
    CopyText(com.comDevice, "/dev/ttyAMA0");
    CopyText(com.portNumStr, "10001");
    ASSERT_TRUE(WriteComSettings(File("ComSettings.cfg")));
    EXPECT_EQ(ReadFileBytes(File("ComSettings.cfg")), "0\n3\n\n10001\n/dev/ttyAMA0\n");

    // A reader of the four numbered-port lines finds the serial port it always knew.
    const int handle = OpenFile(File("ComSettings.cfg"), VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    ASSERT_GE(handle, 0);
    std::string lines[4];
    for (std::string &line : lines)
        ASSERT_GE(ReadLine(handle, line, 255), 0);
    CloseFile(handle);
    EXPECT_EQ(DecimalValue(lines[0]), 0);
    EXPECT_EQ(DecimalValue(lines[1]), 3);
    EXPECT_EQ(lines[3], "10001");

    ResetLinkState();
    ASSERT_TRUE(ReadComSettings(File("ComSettings.cfg")));
    EXPECT_EQ(com.comport, 3);
    EXPECT_STREQ(com.comDevice, "/dev/ttyAMA0");
    // Written by an older copy: four lines, no device.
    WriteFileBytes(File("ComSettings.cfg"), "0\r\n3\r\n\r\n10001\r\n");
    ASSERT_TRUE(ReadComSettings(File("ComSettings.cfg")));
    EXPECT_STREQ(com.comDevice, "");
}

TEST_F(SettingsTest, HandEditedCutAndGarbageSettingsFilesReadSafely) {
    const std::string longName(300, 'n');
    const std::vector<std::tuple<std::string, int, int, std::string, std::string>> cases = {
        {"abc\n7\nhost\n99\n", 0, 7, "host", "99"},
        {"1\r\n3\r\nsrv\r\n10001\r\n", 1, 3, "srv", "10001"},
        {"1\n2\n", 1, 2, "", ""},
        {"1", 1, 0, "", ""},
        {"", 0, 0, "", ""},
        {" 1 TCP\n04\n" + longName + "\n" + std::string(40, '7') + "\n", 1, 4, std::string(255, 'n'),
         std::string(31, '7')},
        {std::string("\xff\x00\x01\n\x80\n\x00zz\nq\x00q\n", 13), 0, 0, "", "q"},
    };
    for (const auto &[content, protocol, port, server, portText] : cases) {
        WriteFileBytes(File("ComSettings.cfg"), content);
        ResetLinkState();
        ASSERT_TRUE(ReadComSettings(File("ComSettings.cfg")));
        EXPECT_EQ(com.comprotocol, protocol) << content;
        EXPECT_EQ(com.comport, port) << content;
        EXPECT_EQ(std::string(com.ipBuf), server) << content;
        EXPECT_EQ(std::string(com.portNumStr), portText) << content;
    }
}

TEST(DecimalValue, TakesLeadingDigitsLikeAPlainConversion) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"1", 1},   {"0", 0},         {"", 0},
        {"abc", 0}, {" 12x", 12},     {"-3", -3},
        {"+7", 7},  {"10001", 10001}, {"99999999999", 2147483647},
    };
    for (const auto &[text, value] : cases)
        EXPECT_EQ(DecimalValue(text), value) << '"' << text << '"';
}

TEST_F(SettingsTest, StoredSettingsReachThePanelAndMissingOnesGiveTheFirstSerialPort) {
    SetLinkFileNames(File("absent"));
    SetPanel(1, 5, "kept", "77");
    GetConnectionSettingsFromFile();
    EXPECT_EQ(com.comprotocol, 0);
    EXPECT_EQ(com.comport, 1);
    EXPECT_EQ(Text(interfacePanel, "StringIpAdress"), "kept"); // resource values stay

    SetLinkFileNames(dir.path().toStdString());
    WriteFileBytes(File("ComSettings.cfg"), "1\n3\nplc-gateway\n4001\n");
    GetConnectionSettingsFromFile();
    int protocol = -1, port = -1;
    GetCtrlVal(interfacePanel, "EditCommunicationProtocol", protocol);
    GetCtrlVal(interfacePanel, "EditSelectComPort", port);
    EXPECT_EQ(protocol, 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(Text(interfacePanel, "StringIpAdress"), "plc-gateway");
    EXPECT_EQ(Text(interfacePanel, "StringPortNumber"), "4001");
}

TEST_F(SettingsTest, AcceptStoresThePanelSettingsAndHidesThePanel) {
    DisplayPanel(interfacePanel);
    SetPanel(1, 1, "sensor.local", "10001");
    CBF_ButtonAccept(interfacePanel, 0, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(ReadFileBytes(File("ComSettings.cfg")), "1\n1\nsensor.local\n10001\n");
    int shown = 1;
    GetPanelAttribute(interfacePanel, ATTR_VISIBLE, shown);
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(Popups().empty());
}

TEST_F(SettingsTest, SettingsThatCannotBeStoredAreReported) {
    WriteFileBytes(File("ComSettings.cfg"), "0\n2\nold\n1\n");
    SetLinkFileNames(File("no-such-folder"));
    SetPanel(0, 4, "", "");
    SaveCommunicationSettings();
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_NE(Popups()[0].text.find("ComSettings.cfg"), std::string::npos);
    EXPECT_EQ(com.comport, 4); // in force all the same
    EXPECT_EQ(ReadFileBytes(File("ComSettings.cfg")), "0\n2\nold\n1\n");
}

TEST_F(SettingsTest, ServerListLoadsRecordsWithEitherLineEnd) {
    struct Case {
        std::string content;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {Record("a.host") + Record("b.host") + Record("c.host"), {"a.host", "b.host", "c.host"}},
        {Record("a.host", "\r\n") + Record("b.host", "\r\n") + Record("c.host", "\r\n"),
         {"a.host", "b.host", "c.host"}},
        {Record("a.host") + Record("") + Record("c.host"), {"a.host", "c.host"}},
        {Record("a.host") + Record("b.host") + "c.ho", {"a.host", "b.host"}}, // cut short: 2 whole records
        {"short\n", {}},
        {"", {}},
        {std::string(150, 'x') + "\n" + std::string(52, '\xff'),
         {std::string(100, 'x'), std::string(52, '\xff')}},
    };
    for (const Case &c : cases) {
        WriteFileBytes(File("IPComboBox.cfg"), c.content);
        EXPECT_EQ(ReadServerListFile(File("IPComboBox.cfg")), c.names) << c.content.size() << " bytes";
    }
    EXPECT_TRUE(ReadServerListFile(File("missing.cfg")).empty());
}

TEST_F(SettingsTest, ServerListRecordsAreHundredBytesAndLongNamesAreCut) {
    const std::string longName(120, 'L');
    ASSERT_TRUE(WriteServerListFile(File("IPComboBox.cfg"), {"first", longName}));
    const std::string bytes = ReadFileBytes(File("IPComboBox.cfg"));
    EXPECT_EQ(bytes, Record("first") + Record(std::string(99, 'L')));
    EXPECT_EQ(ReadServerListFile(File("IPComboBox.cfg")),
              (std::vector<std::string>{"first", std::string(99, 'L')}));
}

TEST_F(SettingsTest, CommittedServerMovesToTheTopAndTheEleventhPushesTheOldestOut) {
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i)
        names.push_back("host" + std::to_string(i));
    ASSERT_TRUE(WriteServerListFile(File("IPComboBox.cfg"), names));
    ASSERT_GT(InitServerComboBox(), 0);
    EXPECT_EQ(ListItems(), names);

    Commit("host4");
    std::vector<std::string> expected = {"host4", "host0", "host1", "host2", "host3",
                                         "host5", "host6", "host7", "host8", "host9"};
    EXPECT_EQ(ListItems(), expected);
    Commit("newcomer");
    expected.insert(expected.begin(), "newcomer");
    expected.pop_back();
    EXPECT_EQ(ListItems(), expected);
    EXPECT_EQ(ReadServerListFile(File("IPComboBox.cfg")), expected);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
}

TEST_F(SettingsTest, ServerChosenFromTheListIsCommittedAndStoredFirst) {
    ASSERT_TRUE(WriteServerListFile(File("IPComboBox.cfg"), {"alpha", "beta", "gamma"}));
    ASSERT_GT(InitServerComboBox(), 0);
    QComboBox *list = nullptr;
    for (QComboBox *box : PanelWidget(interfacePanel)->findChildren<QComboBox *>())
        if (box->property("listButton").toBool()) list = box;
    ASSERT_NE(list, nullptr);
    list->setCurrentIndex(1);
    QTest::keyClick(list, Qt::Key_Down); // a user stepping to the next item of the closed list
    EXPECT_EQ(Text(interfacePanel, "StringIpAdress"), "gamma");
    EXPECT_EQ(ReadServerListFile(File("IPComboBox.cfg")),
              (std::vector<std::string>{"gamma", "alpha", "beta"}));
}

} // namespace
