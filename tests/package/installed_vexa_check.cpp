// The installed VexaV32 of an unpacked package, run by a user who cannot write its
// program folder: Accept on the connection panel stores the settings in the user's
// configuration folder, and the installed program's next start connects with them.
// scripts/package --check runs it with INSTALLED_ROOT (the unpacked package) and a
// scratch XDG_CONFIG_HOME; it is not part of the ordinary test run.
#include "tests/test_vexa_harness.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <cstdlib>

using namespace runtime;
using namespace vexaprogram;

namespace {

using namespace vexatest;

// Types text into a text field as a user does and confirms it with Enter.
void TypeText(int panel, const char *name, const std::string &text) {
    auto *edit = Widget<QLineEdit>(panel, name);
    if (!edit) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QString::fromStdString(text));
    QTest::keyClick(edit, Qt::Key_Return);
}

TEST(InstalledVexaV32, AcceptStoresTheSettingsPerUserAndTheNextStartConnectsWithThem) {
    const char *root = std::getenv("INSTALLED_ROOT");
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_TRUE(root && !configHome.isEmpty()) << "set INSTALLED_ROOT and XDG_CONFIG_HOME";
    const std::string programDir = std::string(root) + "/usr/lib/sensor-scopes/VexaV32";
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(programDir + "/VexaV32.uir")));
    ASSERT_FALSE(QFileInfo(QString::fromStdString(programDir)).isWritable())
        << "run this as a user who cannot write the installed program folder";
    const std::string userDir = configHome.toStdString() + "/sensor-scopes/VexaV32";

    sim::SimSensor sensor;
    const std::string port = std::to_string(sensor.listenTcp());
    SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });

    // First start, from the installed program folder: nothing is stored yet, so the
    // program tries its first serial port, fails and offers the connection panel.
    SetProjectDir(programDir);
    ResetVexa();
    ASSERT_EQ(StartVexa(), 0);
    ChooseItem(vexa.interfacepanel, "EditCommunicationProtocol", 1);
    TypeText(vexa.interfacepanel, "StringIpAdress", "127.0.0.1");
    TypeText(vexa.interfacepanel, "StringPortNumber", port);
    Click(vexa.interfacepanel, "ButtonTryToConnect");
    ASSERT_TRUE(WaitFor([] { return Attr(vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED) == 0; }));
    ClearRecordedPopups();
    RightClick(vexa.interfacepanel, "ButtonAccept");
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_NE(RecordedPopups()[0].text.find(userDir + "/ComSettings.cfg"), std::string::npos)
        << "the help names where Accept stores the settings: " << RecordedPopups()[0].text;
    Click(vexa.interfacepanel, "ButtonAccept");
    EndVexa();
    SetProjectDir("");
    SetPopupResponder({});

    EXPECT_EQ(ReadFileBytes(userDir + "/ComSettings.cfg"), "1\n1\n127.0.0.1\n" + port + "\n");
    EXPECT_NE(ReadFileBytes(userDir + "/IPComboBox.cfg").find("127.0.0.1"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(programDir + "/ComSettings.cfg")));

    // Next start: the installed program itself reads them, connects and reads the sensor's set.
    sensor.clearCapture();
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QString(root) + "/usr/bin/VexaV32", {});
    ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
    const bool connected = WaitFor([&] { return CountOf(CommandsToSensor(sensor), 4) == 31; }, 30.0);
    program.terminate();
    if (!program.waitForFinished(5000)) program.kill();
    program.waitForFinished(5000);
    std::string commands;
    for (int code : CommandsToSensor(sensor))
        commands += std::to_string(code) + ' ';
    EXPECT_TRUE(connected) << "commands the sensor received: " << commands
                           << "\nthe program's output: " << program.readAll().toStdString();
}

} // namespace
