// The menu "Trabalho": pause, continue, cancel while paused, and a job
// started again where the last one stopped.
#include <QRegularExpression>
#include <QSettings>

#include "app/ResumeMenu.h"
#include "job/Job.h"
#include "job/ReturnToOrigin.h"
#include "tests/app/WindowFixture.h"

namespace pm::test {
namespace {

const QByteArray kHouse =
    "PU0,0;PD1200,0;PD1200,900;PD0,900;PD0,0;PU0,900;PD600,1500;PD1200,900;PU450,0;PD450,500;"
    "PD750,500;PD750,0;PU;";

class ResumeMenu : public Window {
protected:
    void SetUp() override {
        // The stopping point goes to settings of this test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        QSettings(QStringLiteral("portmill"), QStringLiteral("portmill")).clear();
        Window::SetUp();
        w<QCheckBox>("Check1")->setChecked(true);
        choose(kHouse);
    }
    QString status() { return w<QLabel>("jobStatus")->text(); }

    // Presses "Pausar" as statement `at` is listed, then, once held,
    // "Continuar" or "Cancelar"; records what the window showed while held.
    // (The hook outlives this call: what it counts lives in the fixture.)
    void holdAt(std::size_t at, const char* release) {
        asked_ = false;
        heldPumps_ = 0;
        form_->onPump = [this, at, release] {
            if (!asked_ && form_->statements().size() >= at) {
                asked_ = true;
                action("Pausar")->trigger();
            } else if (action("Continuar")->isEnabled() && ++heldPumps_ == 20) {
                heldStatus_ = status();
                heldFresar_ = w<QToolButton>("Command1")->isEnabled();
                heldPausar_ = action("Pausar")->isEnabled();
                if (std::string(release) == "Cancel") {
                    click("Cancel");
                } else {
                    action(release)->trigger();
                }
            }
        };
    }

    QTemporaryDir settingsDir_;
    bool asked_ = false;
    int heldPumps_ = 0;
    QString heldStatus_;
    bool heldFresar_ = true;
    bool heldPausar_ = true;
};

TEST_F(ResumeMenu, StandsAfterEsquemaWithItsKeys) {
    const QList<QAction*> bar = form_->menuBar()->actions();
    ASSERT_GE(bar.size(), 5);
    EXPECT_EQ(bar[3]->text(), QStringLiteral("Esquema"));
    EXPECT_EQ(bar[4]->text(), QStringLiteral("Trabalho"));
    for (const char* name : {"Pausar", "Continuar"}) {
        const QList<QKeySequence> keys = action(name)->shortcuts();
        EXPECT_TRUE(keys.contains(QKeySequence(Qt::Key_Pause))) << name;
        EXPECT_TRUE(keys.contains(QKeySequence(Qt::Key_P))) << name;
        EXPECT_FALSE(action(name)->isEnabled()) << name << " with no job";
    }
    EXPECT_EQ(action("ComecarDa")->text(), QStringLiteral("Começar da declaração…"));
    EXPECT_TRUE(action("ComecarDa")->isEnabled());
}

TEST_F(ResumeMenu, PausedJobSaysWhereAndGoesOnToTheEnd) {
    holdAt(3, "Continuar");
    click("Command1");
    form_->onPump = nullptr;
    EXPECT_EQ(heldStatus_, QStringLiteral("Pausado na declaração 3"));
    EXPECT_FALSE(heldFresar_);
    EXPECT_FALSE(heldPausar_);
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_EQ(form_->statements().size(), 13U);
    EXPECT_EQ(sim_.missedSteps(), 0);
    EXPECT_EQ(pm::ResumeMenu::SavedStopPoint().statement, 0U);
}

TEST_F(ResumeMenu, CancelWhilePausedIsProposedForTheNextStart) {
    holdAt(7, "Cancel");
    click("Command1");
    form_->onPump = nullptr;
    EXPECT_EQ(heldStatus_, QStringLiteral("Pausado na declaração 7"));
    EXPECT_EQ(status(), QStringLiteral("Cancelado na declaração 7"));
    const StopPoint kept = pm::ResumeMenu::SavedStopPoint();
    EXPECT_EQ(kept.file, form_->Caption());
    EXPECT_EQ(kept.statement, 7U);
    EXPECT_EQ(kept.divisor, "3.55");
    EXPECT_GT(sim_.z(), 0) << "the tool stays lifted";

    // The machine put back at the origin: start there, from the proposal.
    std::uint64_t proposed = 0;
    form_->resumeMenu().askStatement = [&](std::uint64_t p) {
        proposed = p;
        return p;
    };
    action("ComecarDa")->trigger();
    form_->settle();
    EXPECT_EQ(proposed, 7U);
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(pm::ResumeMenu::SavedStopPoint().statement, 0U) << "a finished job leaves nothing to resume";
    EXPECT_EQ(sim_.missedSteps(), 0);
}

TEST_F(ResumeMenu, SairDuringAJobKeepsWhereItWas) {
    form_->onPump = [this] {
        if (form_->statements().size() >= 5 && exits_ == 0) action("Exit")->trigger();
    };
    // The test's Sair does not end the program: cancel the job after it.
    form_->onExit = [this] {
        ++exits_;
        click("Cancel");
    };
    click("Command1");
    form_->onPump = nullptr;
    EXPECT_EQ(exits_, 1);
    EXPECT_EQ(pm::ResumeMenu::SavedStopPoint().statement, 5U);
}

// Started from a statement while the machine stands away from the job's
// origin: the window says so and offers the way back first.
TEST_F(ResumeMenu, AwayFromTheOriginOffersTheWayBackFirst) {
    const long long x0 = sim_.x();
    const long long y0 = sim_.y();
    holdAt(7, "Cancel");
    click("Command1");
    form_->onPump = nullptr;
    ASSERT_TRUE(sim_.x() != x0 || sim_.y() != y0);
    std::vector<std::vector<std::string>> asked;
    form_->ask = [&](const std::string&, const std::vector<std::string>& buttons) {
        // The tool stays lifted after the pause: "Fresar assim mesmo".
        if (buttons.front() != "Fresar assim mesmo") asked.push_back(buttons);
        return 0;
    };
    form_->resumeMenu().askStatement = [](std::uint64_t p) { return p; };
    action("ComecarDa")->trigger();
    form_->settle();
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0], (std::vector<std::string>{"Voltar à origem e começar", "Começar daqui",
                                                  "Cancelar"}));
    // Back at the origin first, the rest of the house ends where the whole
    // house does: its last target, (750, 0) / 3.55, walked to 211.
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_EQ(sim_.x() - x0, 211);
    EXPECT_EQ(sim_.y() - y0, 0);
    EXPECT_EQ(sim_.missedSteps(), 0);

    // At the origin nothing is asked.
    asked.clear();
    form_->run([](Context& c) { (void)ReturnToJobOrigin(c); });
    form_->settle();
    action("ComecarDa")->trigger();
    form_->settle();
    EXPECT_TRUE(asked.empty());
}

// With "Zerar XY aqui" where the job stopped, the rest of it counts from
// there, and nothing is asked.
TEST_F(ResumeMenu, FromTheOriginSetHereNothingIsAsked) {
    holdAt(7, "Cancel");
    click("Command1");
    form_->onPump = nullptr;
    click("ZerarXY");
    form_->settle();
    const long long x0 = sim_.x();
    int asked = 0;
    form_->ask = [&](const std::string&, const std::vector<std::string>& buttons) {
        if (buttons.front() != "Fresar assim mesmo") ++asked;
        return 0;
    };
    form_->resumeMenu().askStatement = [](std::uint64_t p) { return p; };
    action("ComecarDa")->trigger();
    form_->settle();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(sim_.x() - x0, 211);  // the house's last target from the new origin
    EXPECT_EQ(sim_.missedSteps(), 0);
}

// "Sair" during a job asks first; "Cancelar" there lets the job go on.
TEST_F(ResumeMenu, SairDuringAJobAsksFirst) {
    std::vector<std::string> asked;
    form_->ask = [&](const std::string& text, const std::vector<std::string>& buttons) {
        asked.push_back(text);
        EXPECT_EQ(buttons, (std::vector<std::string>{"Parar e sair", "Cancelar"}));
        return asked.size() == 1 ? 1 : 0;
    };
    form_->onPump = [this, &asked] {
        const std::size_t n = form_->statements().size();
        if ((n == 4 && asked.empty()) || (n == 8 && asked.size() == 1)) action("Exit")->trigger();
    };
    form_->onExit = [this] {
        ++exits_;
        click("Cancel");
    };
    click("Command1");
    form_->onPump = nullptr;
    ASSERT_EQ(asked.size(), 2U);
    EXPECT_EQ(asked[0].substr(0, 14), "Parar e sair?\n");
    EXPECT_EQ(exits_, 1);
    EXPECT_EQ(pm::ResumeMenu::SavedStopPoint().statement, 8U);
}

// After a job on the real clock the job's field says how late its steps came.
TEST(JobLateness, ARealClockJobShowsHowLateItsStepsCame) {
    App();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString path = dir.filePath(QStringLiteral("linha.red"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("PU0,0;PD20,0;PU;");
    f.close();
    Form1::Options o;
    o.startTimer = false;
    Form1 form(std::make_unique<SimulatedMachine>(), std::make_unique<RealClock>(), o);
    form.SetCaption(QFile::encodeName(path).toStdString());
    form.run([](Context& c) { EXPECT_EQ(RunJob(c).end, PlotEnd::EndOfFile); });
    form.settle();
    const QRegularExpression shown(QStringLiteral(
        "^atraso dos passos: mediana \\d+ µs, p99 \\d+ µs, máximo \\d+ µs; \\d+ de [1-9]\\d* passos com "
        "atraso maior que um décimo do período$"));
    const QString status = form.findChild<QLabel*>("jobStatus")->text();
    EXPECT_TRUE(shown.match(status).hasMatch()) << status.toStdString();
}

}  // namespace
}  // namespace pm::test
