#include "AppFixture.h"

#include "app/LocalizedTexts.h"
#include "app/frmCapDev.h"
#include "app/frmLogin.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/SystemLocale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QTreeView>

using testing_support::answerNext;

TEST_F(AppTest, FreshProfileStartsWithTheDefaultsAndHonestPlaceholders)
{
    markFirstRunDone();
    frmSet& w = start();
    const std::pair<QLineEdit*, const char*> fields[] = {
        {w.Text5, "110"}, {w.Text16, "25"}, {w.txtEmailServer, "smtp."}, {w.Text7, "10"},
        {w.txtRingsToAnswer, "2"}, {w.Text10, "16"}, {w.Text13, "10"}, {w.Pin, "4071"}, {w.Text6, "1"}};
    for (auto [field, value] : fields)
        EXPECT_EQ(field->text(), value);
    const bool boxes[] = {false, false, true, false, true, true}; // reply, log, captions, -, phone, answer
    for (int i : {0, 1, 2, 4, 5})
        EXPECT_EQ(w.Check[i]->isChecked(), boxes[i]) << i;
    EXPECT_TRUE(platform::Globals().spokenCaptions);
    EXPECT_EQ(w.Text1->text(), ReadStatementText("EConv", "UGotMail"));
    EXPECT_FALSE(w.Text1->text().isEmpty());
    EXPECT_TRUE(w.txtGreeting->text().startsWith("Hello, it is "));
    EXPECT_TRUE(w.CheckMailTimer->isActive());

    // No line devices, voices or outputs exist yet, and the lists say so.
    EXPECT_EQ(w.panelText(1), "No Modem Installed.");
    EXPECT_EQ(w.modembox->placeholderText(), "Select Modem");
    EXPECT_TRUE(w.wizard()->skipTelephone);
    EXPECT_EQ(w.VoiceCB->placeholderText(), "Not Install");
    EXPECT_EQ(w.AudioOutputCB->currentText(), "No audio ouput object available");
    EXPECT_FALSE(w.AudioOutputCB->isEnabled());

    ASSERT_EQ(w.FormatCB->count(), 32);
    EXPECT_EQ(w.FormatCB->itemData(31).toInt(), 35);
    EXPECT_EQ(w.FormatCB->currentText(), "SAFT22kHz16BitStereo");
    EXPECT_EQ(w.FormatCB->currentData().toInt(), 23);
    EXPECT_EQ(w.listModel->headerData(2, Qt::Horizontal).toString(), "Date");
    EXPECT_TRUE(w.ListView1->isColumnHidden(3));
}

TEST_F(AppTest, StoredSpeechSettingsAreRangeChecked)
{
    struct SpeechRow { const char *rate, *volume, *voice; int expectRate, expectVolume, expectVoice; };
    const SpeechRow rows[] = {
        {"11", "-1", "0", 3, 99, 0},  {"-10", "0", "-1", -10, 0, 0}, {"10", "100", "2", 10, 100, 2},
        {"abc", "", "9", 3, 99, 0},   {"-11", "101", "1", 3, 99, 1},
    };
    markFirstRunDone();
    for (const SpeechRow& row : rows) {
        store->SaveSetting("SoundRate", row.rate);
        store->SaveSetting("SoundVolume", row.volume);
        store->SaveSetting("VoiceName", row.voice);
        frmSetParts parts;
        parts.voices = [] { return QStringList{"English (America)", "Chinese (Mandarin)", "German"}; };
        frmSet& w = start(parts);
        EXPECT_EQ(w.RateSldr->value(), row.expectRate) << row.rate;
        EXPECT_EQ(w.VolumeSldr->value(), row.expectVolume) << row.volume;
        EXPECT_EQ(w.VoiceCB->currentIndex(), row.expectVoice) << row.voice;
        EXPECT_TRUE(platform::Globals().chineseVoiceAvailable);
        window.reset();
        instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
    }
}

TEST_F(AppTest, DecliningTheAgreementEndsBeforeTheMailEngineExists)
{
    int enginesMade = 0;
    frmSetParts parts;
    parts.mailEngine = [&] { ++enginesMade; return std::make_unique<FakeEngine>(); };
    answerNext<frmLogin>([](frmLogin* d) { QTest::mouseClick(d->cmdCancel, Qt::LeftButton); });
    frmSet& w = makeWindow(parts);
    EXPECT_FALSE(w.Form_Load());
    EXPECT_EQ(enginesMade, 0);
    EXPECT_EQ(stored("FirstRunning"), "<missing>");
    EXPECT_TRUE(store->written.isEmpty());
}

TEST_F(AppTest, AcceptingRunsTheWizardOnceThenTheEngineStarts)
{
    auto console = std::make_unique<FakeConsole>();
    FakeConsole* consoleSeen = console.get();
    int enginesMade = 0;
    frmSetParts parts;
    parts.console = [&] { return std::move(console); };
    parts.mailEngine = [&] { ++enginesMade; return std::make_unique<FakeEngine>(); };
    store->SaveSetting("popserver", "pop.before.example");

    answerNext<frmLogin>([](frmLogin* d) {
        answerNext<frmCapDev>([](frmCapDev* wizard) {
            wizard->txtPopServer->setText("pop.wizard.example");
            for (int i = 0; i < frmCapDev::kPages; ++i)
                QTest::mouseClick(wizard->OKButton[0], Qt::LeftButton);
        });
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    });
    frmSet& w = start(parts);
    EXPECT_EQ(stored("FirstRunning"), "1");
    EXPECT_EQ(stored("popserver"), "pop.wizard.example");
    EXPECT_EQ(w.Text4->text(), "pop.wizard.example"); // taken over by ReloadSetting
    EXPECT_EQ(consoleSeen->reloads, 1);
    EXPECT_EQ(consoleSeen->shown, 1);
    EXPECT_EQ(enginesMade, 1);

    // The next start shows neither dialog.
    window.reset();
    instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
    frmSet& again = start();
    EXPECT_EQ(again.Text4->text(), "pop.wizard.example");
}

TEST(SingleInstanceProgram, SecondProgramExitsWhileTheFirstRuns)
{
    testing_support::TempFolder home;
    QDir().mkpath(home.file("runtime"));
    QFile::setPermissions(home.file("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", home.file("runtime"));
    env.insert("XDG_CONFIG_HOME", home.file("config"));
    env.insert("XDG_DATA_HOME", home.file("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(KORVALEN_BINARY, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first run waits at its agreement, holding the lock.
    const QString lock = home.file("runtime/TNX_Korvalen.lock");
    for (int i = 0; i < 500 && !QFile::exists(lock); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(QFile::exists(lock));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(KORVALEN_BINARY, {});
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000))
        first.kill();
    first.waitForFinished();
}

TEST_F(AppTest, AnUnwritableProgramFolderIsReported)
{
    markFirstRunDone();
    platform::SetProgramFolderOverride(profile.file("no-such-folder"));
    start();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(profile.file("no-such-folder")));
}
