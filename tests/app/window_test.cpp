#include "tests/app/WindowFixture.h"

#include <QLayout>
#include <QTest>
#include <QWindow>

#include "app/StatusField.h"
#include "app/Widgets.h"

namespace pm {
namespace {

using test::App;
using test::MissingPort;
using test::UrlSink;
using test::Window;

TEST_F(Window, StartsAsTheLayoutSays) {
    EXPECT_EQ(form_->Caption(), "");
    EXPECT_EQ(form_->statements().size(), 0U);
    EXPECT_EQ(w<QListView>("List1")->model()->rowCount(), 0);
    EXPECT_EQ(w<QLineEdit>("Text1")->text(), "");
    EXPECT_EQ(w<QLineEdit>("Text2")->text(), "");
    EXPECT_EQ(w<QLineEdit>("Text3")->text(), "3.55");
    EXPECT_FALSE(w<QCheckBox>("Check1")->isChecked());
    EXPECT_EQ(w<QSlider>("Slider1")->value(), 5);
    EXPECT_EQ(w<QSlider>("Slider2")->value(), 20);
    EXPECT_EQ(w<QLabel>("Label9")->text(), "Label9");
    EXPECT_EQ(w<QLabel>("Label10")->text(), "Label10");
    EXPECT_EQ(w<QLabel>("Label8")->text(), "Scale *  5");
    for (int i = 3; i <= 7; ++i) {
        EXPECT_TRUE(w(QStringLiteral("LE(%1)").arg(i).toLatin1().constData())->isHidden()) << i;
        EXPECT_FALSE(form_->LampVisible(i));
    }
    for (int i : {0, 1, 2, 8}) {
        EXPECT_EQ(form_->findChild<QWidget*>(QStringLiteral("LE(%1)").arg(i)), nullptr) << i;
    }
    EXPECT_TRUE(w("Command1")->isEnabled());
    EXPECT_TRUE(w("MotorJog")->isEnabled());
    EXPECT_EQ(form_->state().PortBase, 888);
    EXPECT_EQ(form_->state().PhaseTableY[7], 16);
    EXPECT_TRUE(trace_->accesses().empty()) << "start-up touches no port";
    EXPECT_EQ(w("inner")->size(), QSize(792, 536));
    EXPECT_EQ(w<QLabel>("portStatus")->text(), QString::fromUtf8("Máquina simulada"));
    EXPECT_TRUE(w<QLabel>("portStatus")->geometry().top() >= 0);

    const QImage& img = form_->canvas().image();
    EXPECT_EQ(img.size(), QSize(653, 381));
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));

    QStringList menu;
    for (QAction* a : form_->menuBar()->actions()) {
        menu << a->text();
        // Items that act at once, and the one menu with items of its own.
        EXPECT_EQ(a->menu() != nullptr, a->text() == QStringLiteral("Trabalho")) << a->text().toStdString();
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
    EXPECT_EQ(menu, (QStringList{"Abrir", "Sair", "Ajuda", "Esquema", "Trabalho"}));
}

TEST_F(Window, Timer1PollsEveryTenthOfASecondFromTheStart) {
    auto clock = std::make_unique<VirtualClock>();
    Form1 form(std::make_unique<SimulatedMachine>(), std::move(clock));
    auto* t = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->isActive());
    EXPECT_EQ(t->interval(), 100);
}

TEST_F(Window, NoControlOverlapsAnotherOrLeavesTheWindow) {
    // Every named control lies within its parent, and the parents within the
    // window, so none is cut off; no two controls of one parent overlap, so
    // none hides another (the lamps included, though they start hidden).
    QWidget* inner = w("inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_TRUE(form_->rect().contains(QRect(inner->mapTo(form_.get(), QPoint(0, 0)), inner->size())));
    int checked = 0;
    for (const char* parent : {"inner", "Frame1", "Frame2", "MotorJog"}) {
        QWidget* p = w(parent);
        ASSERT_NE(p, nullptr) << parent;
        std::vector<QWidget*> kids;
        for (QObject* o : p->children()) {
            auto* k = qobject_cast<QWidget*>(o);
            if (k != nullptr && !k->isWindow() && !k->objectName().isEmpty()) kids.push_back(k);
        }
        for (std::size_t i = 0; i < kids.size(); ++i) {
            const QRect g = kids[i]->geometry();
            EXPECT_FALSE(g.isEmpty()) << kids[i]->objectName().toStdString();
            EXPECT_TRUE(p->rect().contains(g)) << kids[i]->objectName().toStdString() << " leaves " << parent;
            for (std::size_t j = i + 1; j < kids.size(); ++j) {
                const QRect h = kids[j]->geometry();
                const QString pair = kids[i]->objectName() + "/" + kids[j]->objectName();
                // A control of the window set wholly on a frame (the lamps and
                // the Home buttons on Frame1) is drawn over it, and the lamps of
                // the two free inputs sit where the layout puts them, over the
                // canvas' lower edge.
                const bool onFrame = (qobject_cast<QGroupBox*>(kids[i]) != nullptr && g.contains(h)) ||
                                     (qobject_cast<QGroupBox*>(kids[j]) != nullptr && h.contains(g));
                const bool freeLamp = pair == "Picture1/LE(6)" || pair == "Picture1/LE(7)" ||
                                      pair == "LE(6)/Picture1" || pair == "LE(7)/Picture1";
                if (onFrame || freeLamp) continue;
                EXPECT_FALSE(g.intersects(h)) << pair.toStdString() << " overlap";
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 40) << "every control of the layout is looked at";
    // The frames hold their controls; the lamps and home buttons are the window's.
    EXPECT_EQ(w("Text1")->parentWidget(), w("Frame2"));
    EXPECT_EQ(w("Command8")->parentWidget(), w("MotorJog"));
    EXPECT_EQ(w("LE(5)")->parentWidget(), w("inner"));
    EXPECT_EQ(w("Command3")->parentWidget(), w("inner"));
    // The canvas' drawing area inside its sunken border.
    EXPECT_EQ(w("Picture1")->contentsRect().size(), QSize(653, 381));
    EXPECT_EQ(w<QLabel>("Label12")->text(), "X  Y");
    EXPECT_EQ(w<QGroupBox>("Frame2")->title(), " Limites ");
    EXPECT_EQ(w<QLabel>("Label8")->width(), w<QLabel>("Label8")->sizeHint().width());
}

TEST_F(Window, TabWalksTheFocusOrder) {
    const QStringList expected{"Command1", "Check1",    "Cancel",    "List1",     "Slider1",
                               "Slider2",  "Command9",  "Command8",  "Command10", "Command11",
                               "Command12", "Command13", "JogStep",  "ZerarXY",  "Command3",
                               "Command4", "Text3",
                               "Command2", "Command5",  "Text2",     "Text1"};
    QStringList seen;
    QWidget* at = w("Command1");
    for (int i = 0; i < expected.size(); ++i) {
        seen << at->objectName();
        do {
            at = at->nextInFocusChain();
        } while ((at->focusPolicy() & Qt::TabFocus) == 0 || at->objectName().isEmpty());
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(w("Picture1")->focusPolicy(), Qt::NoFocus);
}

TEST_F(Window, Label8NamesEveryScale) {
    const std::pair<int, const char*> rows[] = {
        {-3, "Scale / -3"}, {-2, "Scale / -2"}, {-1, "Scale Normal"}, {0, "Scale Normal"},
        {1, "Scale Normal"}, {2, "Scale *  2"}, {5, "Scale *  5"},     {10, "Scale *  10"},
    };
    auto* s = w<QSlider>("Slider1");
    for (const auto& [v, text] : rows) {
        s->setValue(v == 5 ? 4 : 5);
        s->setValue(v);
        EXPECT_EQ(w<QLabel>("Label8")->text(), QString::fromLatin1(text)) << v;
    }
    // From the keyboard too: 1 -> 2 by the arrow key.
    s->setValue(1);
    s->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(w<QLabel>("Label8")->text(), "Scale *  2");
    EXPECT_EQ(s->minimum(), -3);
    EXPECT_EQ(s->maximum(), 10);
    EXPECT_EQ(s->pageStep(), 5);
}

TEST_F(Window, PointerReadOutIsInMillimetres) {
    MachineSettings m;
    m.StepsPerMmX = m.StepsPerMmY = 10;
    form_->SetMachineSettings(m);
    auto* canvas = w("Picture1");
    const QPoint origin = canvas->contentsRect().topLeft();
    struct Row {
        QPointF at;  // pixels inside the drawing area, 15 twips each, at scale 5
        const char* x;
        const char* y;
    };
    const Row rows[] = {
        {{0, 380}, "x= 0,0 mm", "y= 0,0 mm"},
        {{10, 20}, "x= 75,0 mm", "y= 2700 mm"},
        {{10.5, 0.2}, "x= 78,8 mm", "y= 2849 mm"},
        {{652, 0}, "x= 4890 mm", "y= 2850 mm"},
    };
    for (const Row& r : rows) {
        const QPointF local = r.at + QPointF(origin);
        QMouseEvent move(QEvent::MouseMove, local, canvas->mapToGlobal(local), Qt::NoButton,
                         Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(canvas, &move);
        EXPECT_EQ(w<QLabel>("Label9")->text(), QString::fromLatin1(r.x));
        EXPECT_EQ(w<QLabel>("Label10")->text(), QString::fromLatin1(r.y));
        // Each read-out is shown whole, clear of its neighbour.
        EXPECT_LT(w("Label9")->geometry().right(), w("Label10")->geometry().left());
        EXPECT_LT(w("Label10")->geometry().right(), w("Label5")->geometry().left());
    }
    // Over the border around the drawing area the read-out keeps the last
    // position inside it.
    for (const QPointF at : {QPointF(-2, 10), QPointF(-0.5, 10), QPointF(653, 10),
                             QPointF(10, -1), QPointF(10, 381), QPointF(654, 382)}) {
        const QPointF local = at + QPointF(origin);
        QMouseEvent move(QEvent::MouseMove, local, canvas->mapToGlobal(local), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &move);
        EXPECT_EQ(w<QLabel>("Label9")->text(), "x= 4890 mm") << at.x() << "," << at.y();
        EXPECT_EQ(w<QLabel>("Label10")->text(), "y= 2850 mm") << at.x() << "," << at.y();
    }
}

TEST_F(Window, FresarWithoutAFileOnlySaysSo) {
    form_->Text(3);
    closeNextMessageBox();
    click("Command1");
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], "Falta Abrir Arquivo");
    EXPECT_EQ(icons_[0], QMessageBox::NoIcon);
    EXPECT_EQ(buttons_[0], 1);
    EXPECT_TRUE(trace_->accesses().empty());
    EXPECT_EQ(form_->statements().size(), 0U);
    EXPECT_TRUE(w("Command1")->isEnabled());
    EXPECT_TRUE(w("MotorJog")->isEnabled());
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_EQ(form_->state().PlotFileName, "");

    closeNextMessageBox();
    click("Command5");
    ASSERT_EQ(messages_.size(), 2);
    EXPECT_EQ(messages_[1], "Falta Abrir Arquivo");
    EXPECT_EQ(w<QLineEdit>("Text1")->text(), "");
}

// A dry run of a small drawing leaves blue milling dots and green travel
// dots exactly where the mapping puts them, at every scale: the file's
// coordinates are multiplied by the scale, so the picture is the same.
TEST_F(Window, DryRunDrawsWhereTheMappingSays) {
    const std::pair<int, int> scales[] = {{0, 1}, {1, 1}, {2, 2}, {5, 5}};
    for (const auto& [s, m] : scales) {
        SCOPED_TRACE(s);
        form_->state().MoveMode.clear();
        form_->state().TargetX = form_->state().TargetY = 0;
        w<QSlider>("Slider1")->setValue(s);
        w<QLineEdit>("Text3")->setText(QStringLiteral("1"));
        choose(QStringLiteral("PD%1,0;PD%1,%2;PU0,%2;").arg(300 * m).arg(150 * m).toLatin1());
        form_->ListClear();
        trace_->clear();
        click("Command1");
        form_->refreshNow();

        EXPECT_EQ(form_->statements().size(), 3U);
        auto* list = w<QListView>("List1");
        ASSERT_EQ(list->model()->rowCount(), 3);
        EXPECT_EQ(list->model()->index(0, 0).data().toString(), QStringLiteral("PD%1,0;").arg(300 * m));
        EXPECT_EQ(list->currentIndex().row(), 2);
        EXPECT_TRUE(list->selectionModel()->isRowSelected(2, QModelIndex()));

        const QImage& img = form_->canvas().image();
        const QRgb blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0), white = qRgb(255, 255, 255);
        std::set<std::pair<int, int>> blues, greens;
        for (int x = 0; x <= 20; ++x) blues.insert({x, 380});     // (0,0) to (300,0)
        for (int y = 371; y <= 380; ++y) blues.insert({20, y});   // up to (300,150)
        for (int x = 0; x <= 20; ++x) greens.insert({x, 370});    // back to (0,150)
        int wrong = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QRgb want = blues.count({x, y}) ? blue : greens.count({x, y}) ? green : white;
                if (img.pixel(x, y) != want && ++wrong < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << img.pixel(x, y);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        // A dry run writes nothing but the job's final release.
        EXPECT_EQ(trace_->writes(kDataReg), std::vector<int>{0});
        EXPECT_EQ(trace_->writes(kControlReg), std::vector<int>{11});
        EXPECT_TRUE(w("Command1")->isEnabled());
        EXPECT_TRUE(w("MotorJog")->isEnabled());
    }
}

TEST_F(Window, CancelFromInsideTheJobEndsIt) {
    w<QLineEdit>("Text3")->setText(QStringLiteral("1"));
    choose("PU0,0;PD4000,0;PD4000,4000;");
    int pumps = 0;
    long long pumpsAfterCancel = -1;
    form_->onPump = [&] {
        ++pumps;
        if (pumpsAfterCancel >= 0) ++pumpsAfterCancel;
        if (pumps == 200) {
            EXPECT_EQ(form_->statements().size(), 2U);
            click("Cancel");
            pumpsAfterCancel = 0;
        }
    };
    click("Command1");
    EXPECT_GE(pumps, 200);
    EXPECT_LE(pumpsAfterCancel, 2) << "the job stops at its next test of the flag";
    EXPECT_TRUE(form_->state().CancelRequested);
    EXPECT_EQ(form_->state().TargetX, 0);
    EXPECT_EQ(form_->state().TargetY, 0);
    EXPECT_EQ(form_->statements().size(), 0U);
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_TRUE(w("Command1")->isEnabled());
    EXPECT_TRUE(w("MotorJog")->isEnabled());
    EXPECT_TRUE(trace_->writes(kDataReg).empty()) << "no release on cancel";
    EXPECT_LT(form_->state().CurrentX, 4000);

    // Esc does the same.
    choose("PU0,0;PD4000,0;");
    pumps = 0;
    form_->onPump = [&] {
        if (++pumps == 100) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QKeyEvent escUp(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(w("Check1"), &esc);
            QApplication::sendEvent(w("Check1"), &escUp);
        }
    };
    form_->activateWindow();
    click("Command1");
    EXPECT_TRUE(form_->state().CancelRequested);
    EXPECT_LT(pumps, 110);
}

TEST_F(Window, WhileAJobRunsOnlyTheSafeControlsAnswer) {
    w<QLineEdit>("Text3")->setText(QStringLiteral("1"));
    choose("PU0,0;PD200,0;");
    bool checked = false;
    form_->onPump = [&] {
        if (checked) return;
        checked = true;
        for (const char* n : {"Command1", "Command5", "Command2", "Command4", "Command3", "MotorJog",
                              "Command8", "Command9"}) {
            EXPECT_FALSE(w(n)->isEnabled()) << n;
        }
        for (const char* n : {"Cancel", "Slider1", "Slider2", "Check1", "Text1", "Text2", "Text3",
                              "Label5", "Label6", "List1"}) {
            EXPECT_TRUE(w(n)->isEnabled()) << n;
        }
        for (QAction* a : form_->menuBar()->actions()) EXPECT_TRUE(a->isEnabled());
        // A click on a locked button does nothing.
        const auto before = trace_->accesses().size();
        click("Command4");
        click("Command3");
        click("Command8");
        EXPECT_EQ(trace_->accesses().size(), before);
        EXPECT_EQ(form_->state().Running, Operation::Job);
    };
    click("Command1");
    EXPECT_TRUE(checked);
    for (const char* n : {"Command1", "Command5", "Command2", "Command4", "Command3", "MotorJog"}) {
        EXPECT_TRUE(w(n)->isEnabled()) << n;
    }
}

TEST_F(Window, EnabledIsWhatTheCoreSetAndNoOperationRunning) {
    struct Row {
        bool core;
        Operation op;
        bool enabled;
    };
    const Row rows[] = {{true, Operation::None, true},  {false, Operation::None, false},
                        {true, Operation::HomeZ, false}, {true, Operation::Scan, false},
                        {false, Operation::Job, false}};
    for (const Row& r : rows) {
        form_->SetCommand1Enabled(r.core);
        form_->SetMotorJogEnabled(r.core);
        form_->SetOperationRunning(r.op);
        EXPECT_EQ(w("Command1")->isEnabled(), r.enabled);
        EXPECT_EQ(w("MotorJog")->isEnabled(), r.enabled);
        EXPECT_EQ(w("Command4")->isEnabled(), r.op == Operation::None);
        EXPECT_TRUE(w("Cancel")->isEnabled());
    }
}

TEST_F(Window, AHeldKeyJogsOncePerRepeatAndStopsAtTheRealRelease) {
    struct Row {
        const char* button;
        std::vector<int> cycle;
    };
    const Row rows[] = {{"Command8", {10, 9, 15, 3}}, {"Command9", {3, 15, 9, 10}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        trace_->clear();
        QWidget* b = w(r.button);
        auto send = [&](QEvent::Type t, bool repeat) {
            QKeyEvent e(t, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), repeat);
            QApplication::sendEvent(b, &e);
        };
        send(QEvent::KeyPress, false);
        for (int i = 0; i < 3; ++i) {
            send(QEvent::KeyRelease, true);
            send(QEvent::KeyPress, true);
        }
        send(QEvent::KeyRelease, false);
        form_->settle();
        std::vector<int> want;
        for (int i = 0; i < 4; ++i) want.insert(want.end(), r.cycle.begin(), r.cycle.end());
        want.push_back(11);
        EXPECT_EQ(trace_->writes(kControlReg), want);
        EXPECT_TRUE(trace_->writes(kDataReg).empty());

        // A key that gives no character jogs nothing, but its release still
        // switches the Z coils off.
        trace_->clear();
        QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
        QApplication::sendEvent(b, &shift);
        QApplication::sendEvent(b, &shiftUp);
        form_->settle();
        EXPECT_EQ(trace_->writes(kControlReg), std::vector<int>{11});
    }
}

// Keys as the operator's arrive: to the window, reaching the button that
// the mouse or Tab gave the focus to, which keeps it from one jog to the next.
TEST_F(Window, KeysThroughTheWindowJogTheFocusedButton) {
    QWindow* window = form_->windowHandle();
    ASSERT_NE(window, nullptr);
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    const std::vector<int> up{10, 9, 15, 3};
    const std::vector<int> down{3, 15, 9, 10};
    auto cat = [](std::initializer_list<std::vector<int>> parts) {
        std::vector<int> all;
        for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };

    trace_->clear();
    QTest::mouseClick(w("Command8"), Qt::LeftButton);
    form_->settle();
    EXPECT_EQ(trace_->writes(kControlReg), up) << "the click";
    EXPECT_EQ(QApplication::focusWidget(), w("Command8"));

    trace_->clear();
    QTest::keyClick(window, Qt::Key_A);
    QTest::keyClick(window, Qt::Key_B);
    form_->settle();
    EXPECT_EQ(trace_->writes(kControlReg), cat({up, {11}, up, {11}})) << "two taps";
    EXPECT_EQ(QApplication::focusWidget(), w("Command8"));

    // Held: the presses the keyboard repeats, then the one release.
    trace_->clear();
    QTest::simulateEvent(window, true, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), false);
    for (int i = 0; i < 3; ++i) {
        QTest::simulateEvent(window, false, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true);
        QTest::simulateEvent(window, true, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true);
    }
    QTest::simulateEvent(window, false, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), false);
    form_->settle();
    EXPECT_EQ(trace_->writes(kControlReg), cat({up, up, up, up, {11}})) << "held";
    EXPECT_EQ(QApplication::focusWidget(), w("Command8"));

    // From Z down to Z up by Tab: Tab's release reaches Z up.
    trace_->clear();
    QTest::mouseClick(w("Command9"), Qt::LeftButton);
    QTest::keyClick(window, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w("Command8"));
    QTest::keyClick(window, Qt::Key_C);
    form_->settle();
    EXPECT_EQ(trace_->writes(kControlReg), cat({down, {11}, {11}, up, {11}}));
    EXPECT_EQ(trace_->writes(kDataReg), std::vector<int>{0});
}

// After an operation started by a button the focus is back on it; it never
// waits in a text box with the text selected, where a stray key would
// overwrite the divisor or a limit.
TEST_F(Window, TheFocusReturnsToTheButtonThatStartedTheOperation) {
    QWindow* window = form_->windowHandle();
    ASSERT_NE(window, nullptr);
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    w<QLineEdit>("Text1")->setText("100");
    w<QLineEdit>("Text2")->setText("50");
    choose("PU0,0;PD100,0;PU;");
    for (const char* button : {"Command2", "Command4", "Command3", "Command5", "Command1"}) {
        SCOPED_TRACE(button);
        sim_.setPosition(SimulatedMachine::Axis::X, 100);
        sim_.setPosition(SimulatedMachine::Axis::Y, 100);
        QTest::mouseClick(w(button), Qt::LeftButton);
        form_->settle();
        EXPECT_EQ(QApplication::focusWidget(), w(button));
        QTest::keyClick(window, Qt::Key_X);
        form_->settle();
        for (const char* box : {"Text1", "Text2", "Text3"}) {
            EXPECT_FALSE(w<QLineEdit>(box)->text().contains('x')) << box;
            EXPECT_FALSE(w<QLineEdit>(box)->hasSelectedText()) << box;
        }
        EXPECT_EQ(w<QLineEdit>("Text3")->text(), "3.55");
    }
}

// The space bar is a key that gives a character, and the button's own
// handling clicks it when the space is let go: the key-press cycle, the
// release, then the click's cycle.
TEST_F(Window, SpaceJogsThenClicks) {
    struct Row {
        const char* button;
        std::vector<int> control;
        std::vector<int> data;
    };
    const Row rows[] = {
        {"Command8", {10, 9, 15, 3, 11, 10, 9, 15, 3}, {}},
        {"Command9", {3, 15, 9, 10, 11, 3, 15, 9, 10, 11}, {0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        trace_->clear();
        QWidget* b = w(r.button);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(b, &down);
        QApplication::sendEvent(b, &up);
        form_->settle();
        EXPECT_EQ(trace_->writes(kControlReg), r.control);
        EXPECT_EQ(trace_->writes(kDataReg), r.data);
    }
}

TEST_F(Window, TheXYArrowsJogOneStepAClickAndKeysWithACharacterDoNothing) {
    for (const char* n : {"Command10", "Command11", "Command12", "Command13"}) {
        trace_->clear();
        click(n);
        form_->settle();
        // The pattern the motors hold, the ten half-steps of the size chosen,
        // then the coils off.
        EXPECT_EQ(trace_->writes(kDataReg).size(), 12u) << n;
        EXPECT_EQ(trace_->writes(kDataReg).back(), 0) << n;
        trace_->clear();
        QKeyEvent k(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(w(n), &k);
        form_->settle();
        EXPECT_TRUE(trace_->accesses().empty()) << n;
    }
}

TEST_F(Window, HomeButtonsReachTheirHandlers) {
    // Home Z with the top switch already closed writes nothing.
    sim_.setPosition(SimulatedMachine::Axis::Z, 160);
    click("Command3");
    EXPECT_TRUE(trace_->accesses().empty());
    // Home XY ends with every coil released.
    click("Command4");
    const auto d = trace_->writes(kDataReg);
    const auto c = trace_->writes(kControlReg);
    ASSERT_FALSE(d.empty());
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(d.back(), 0);
    EXPECT_EQ(c.back(), 11);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the busy pointer is gone";
}

TEST_F(Window, AnXYArrowThatLosesTheFocusLetsGoOfItsHeldKey) {
    QWidget* b = w("Command11");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(b, &press);
    // The release goes to another window; only the focus leaving tells.
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(b, &out);
    form_->settle();  // hangs while the jog runs on
    EXPECT_EQ(trace_->writes(kDataReg).back(), 0);
}

TEST_F(Window, BusyPointerWhileTheCoreAsks) {
    form_->SetWaitCursor(true);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    form_->SetWaitCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Window, ThePumpRunsTheEventLoopAtMostOnceAMillisecond) {
    form_->run([this](Context& c) {
        const long long before = form_->pumpsRun();
        c.pump.turn();
        c.pump.turn();
        c.pump.turn();
        EXPECT_EQ(form_->pumpsRun() - before, 1);
        clock_->waitUntilNs(clock_->nowNs() + 999'999);
        c.pump.turn();
        EXPECT_EQ(form_->pumpsRun() - before, 1);
        clock_->waitUntilNs(clock_->nowNs() + 1);
        c.pump.turn();
        EXPECT_EQ(form_->pumpsRun() - before, 2);
        // The poll ticks from the pump follow the clock.
        sim_.setZTop(0);
        clock_->waitUntilNs(clock_->nowNs() + 100'000'000);
        c.pump.turn();
        EXPECT_TRUE(c.st.Switches.ZTop());
    });
    form_->settle();
    EXPECT_TRUE(form_->LampVisible(5));
}

TEST_F(Window, AbrirPutsTheChoiceInTheCaption) {
    const QString first = dir_.filePath(QStringLiteral("a.red"));
    QFile f(first);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    auto answer = [this](const QString& pick) {
        QTimer::singleShot(0, [this, pick] {
            // The retry holds itself only through the timer that calls it
            // again, so nothing is left behind once the dialog is answered.
            auto p = std::make_shared<std::function<void()>>();
            std::weak_ptr<std::function<void()>> weak = p;
            *p = [weak, pick] {
                auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!d) {
                    QTimer::singleShot(5, [self = weak.lock()] { (*self)(); });
                    return;
                }
                EXPECT_EQ(d->nameFilters(),
                          (QStringList{"Desenhos (*.red *.plt *.hpgl *.hpg *.nc *.ngc *.gcode *.gc *.tap *.svg)", "*.red",
                                       "HPGL (*.plt *.hpgl *.hpg)", "G-code (*.nc *.ngc *.gcode *.gc *.tap)",
                                       "SVG (*.svg)"}));
                if (pick.isEmpty()) {
                    d->reject();
                } else {
                    d->selectFile(pick);
                    if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                        name->setText(pick);
                    }
                    // As the operator's double click would, without waiting
                    // for the directory to be listed.
                    static_cast<QDialog*>(d)->done(QDialog::Accepted);
                }
            };
            (*p)();
        });
    };
    answer(QString());
    action("Abrir")->trigger();
    EXPECT_EQ(form_->Caption(), "") << "dismissed at the first use";
    answer(first);
    action("Abrir")->trigger();
    EXPECT_EQ(form_->Caption(), QFile::encodeName(first).toStdString());
    EXPECT_EQ(form_->windowTitle(), first);
    answer(QString());
    action("Abrir")->trigger();
    EXPECT_EQ(form_->Caption(), QFile::encodeName(first).toStdString()) << "a dismissal keeps it";
}

TEST_F(Window, HelpSchematicAndLinksOpenTheirTargets) {
    UrlSink sink;
    for (const char* scheme : {"file", "https", "mailto"}) {
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &sink, "open");
    }
    action("ajuda")->trigger();
    action("esquema")->trigger();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    for (const char* n : {"Label5", "Label6"}) {
        QApplication::sendEvent(w(n), &press);
        QApplication::sendEvent(w(n), &release);
    }
    for (const char* scheme : {"file", "https", "mailto"}) {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    ASSERT_EQ(sink.urls.size(), 4);
    EXPECT_EQ(sink.urls[0].fileName(), "instru.txt");
    EXPECT_EQ(sink.urls[1].fileName(), "esquema.jpg");
    EXPECT_EQ(sink.urls[2].toString(), "https://portmill.example.org/contato");
    EXPECT_EQ(sink.urls[3].toString(), "mailto:contato@portmill.example.org");
    EXPECT_EQ(w<QLabel>("Label5")->text(), "portmill.example.org/contato");
    EXPECT_EQ(w<QLabel>("Label6")->text(), "contato@portmill.example.org");
    // Both pointers are this program's pictures.
    EXPECT_EQ(w("Label5")->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w("Label6")->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(Window, StatusFieldsKeepTheirRoomAndTellTheWholeTextInTheTooltip) {
    const QString longText = QString::fromUtf8(
        "Duração estimada: 1 h 02 min 03 s · X -123456,7 a 123456,7 mm, Y -654321,0 a 654321,0 mm · "
        "Lido: 1234567 de 7654321");
    // The usual texts, at their longest, are read whole at the window's size.
    const std::pair<const char*, const char*> usual[] = {
        {"estimateStatus", "Duração estimada: 1 h 02 min 03 s · X -123,4 a 1234,5 mm, Y -65,4 a 654,3 mm"},
        {"progressStatus", "Lido: 1234 de 5678 · restante 12 min 34 s · X 123,4 Y -56,7 mm"},
        {"divisorStatus", "Divisor: 0,123457"},
        {"positionStatus", "Máquina: X 123,4 mm Y 654,3 mm Z -12,5 mm"},
        {"jobStatus", "Pausado na declaração 12345"},
        {"portStatus", "ppdev:/dev/parport0"}};
    for (const auto& [n, text] : usual) w<StatusField>(n)->setText(QString::fromUtf8(text));
    form_->statusBar()->layout()->activate();
    form_->statusBar()->findChild<QWidget*>("statusPanel")->layout()->activate();
    for (const auto& [n, text] : usual) EXPECT_FALSE(w<StatusField>(n)->elided()) << n;
    const char* names[] = {"portStatus", "estimateStatus", "progressStatus", "divisorStatus", "positionStatus"};
    for (const char* n : names) w<StatusField>(n)->setText(longText);
    std::vector<QRect> taken;
    for (const char* n : names) {
        auto* f = w<StatusField>(n);
        SCOPED_TRACE(n);
        EXPECT_GT(f->width(), 60);
        const QRect r(f->mapTo(form_->statusBar(), QPoint(0, 0)), f->size());
        EXPECT_TRUE(form_->statusBar()->rect().contains(r));
        for (const QRect& other : taken) EXPECT_FALSE(r.intersects(other)) << "fields overlap";
        taken.push_back(r);
        EXPECT_TRUE(f->elided());
        EXPECT_EQ(f->text(), longText);
        f->grab();  // paints, which brings the tooltip up to date
        EXPECT_EQ(f->toolTip(), longText);
    }
    // The window kept its size.
    EXPECT_EQ(form_->size(), form_->minimumSize());
}

TEST_F(Window, WhatTheDesktopCannotOpenIsNamedInAMessage) {
    // A handler without the slot it names fails, as a desktop without a
    // program for the file or the address does.
    UrlSink sink;
    for (const char* scheme : {"file", "https", "mailto"}) {
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &sink, "missing");
    }
    closeMessageBoxes(4);
    action("ajuda")->trigger();
    action("esquema")->trigger();
    w<LinkLabel>("Label5")->onClick();
    w<LinkLabel>("Label6")->onClick();
    for (const char* scheme : {"file", "https", "mailto"}) {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    ASSERT_EQ(messages_.size(), 4u);
    EXPECT_TRUE(messages_[0].contains(Form1::DataFile(QStringLiteral("instru.txt")))) << messages_[0].toStdString();
    EXPECT_TRUE(QDir::isAbsolutePath(Form1::DataFile(QStringLiteral("instru.txt"))));
    EXPECT_TRUE(messages_[1].contains(Form1::DataFile(QStringLiteral("esquema.jpg")))) << messages_[1].toStdString();
    EXPECT_TRUE(messages_[2].contains(QStringLiteral("https://portmill.example.org/contato")));
    EXPECT_TRUE(messages_[3].contains(QStringLiteral("contato@portmill.example.org")));
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("Não foi possível abrir o arquivo")));
    EXPECT_TRUE(messages_[2].startsWith(QStringLiteral("Não foi possível abrir o endereço")));
}

TEST_F(Window, SairAndTheFrameEndTheProgram) {
    action("Exit")->trigger();
    EXPECT_EQ(exits_, 1);
    form_->close();
    EXPECT_EQ(exits_, 2);
    EXPECT_TRUE(form_->isVisible());
}

TEST(WindowExit, SairEndsAJobAtOnceWithoutTouchingThePort) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            App();
            QTemporaryDir dir;
            const QString path = dir.filePath("x.red");
            QFile f(path);
            (void)f.open(QIODevice::WriteOnly);
            f.write("PU0,0;PD4000,0;");
            f.close();
            Form1::Options o;
            o.startTimer = false;
            o.clockTicks = true;
            o.lockstep = true;
            Form1 form(std::make_unique<SimulatedMachine>(), std::make_unique<VirtualClock>(), o);
            form.SetCaption(path.toStdString());
            form.ask = [](const std::string&, const std::vector<std::string>&) { return 0; };  // "Parar e sair"
            int pumps = 0;
            form.onPump = [&] {
                if (++pumps == 50) form.findChild<QAction*>("Exit")->trigger();
            };
            form.findChild<QToolButton*>("Command1")->click();
            form.settle();
            std::fprintf(stderr, "still running\n");
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(WindowStatus, AMissingPortIsShown) {
    App();
    Form1 form(std::make_unique<MissingPort>(), std::make_unique<VirtualClock>());
    auto* l = form.findChild<QLabel*>("portStatus");
    ASSERT_NE(l, nullptr);
    EXPECT_TRUE(l->text().contains("ausente"));
    EXPECT_TRUE(l->text().contains("/dev/parport0"));
    EXPECT_TRUE(l->toolTip().contains(QString::fromUtf8("Sem permissão")));
}

TEST(StatementModel, ShowsControlCharactersAndPublishesInBatches) {
    App();
    StatementModel m;
    m.add("PU0,0;");
    m.add("\r\nPD5,5;");
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_TRUE(m.publish());
    EXPECT_FALSE(m.publish());
    EXPECT_EQ(m.rowCount(), 2);
    EXPECT_EQ(m.index(1).data().toString(), QString::fromUtf8("¶¶PD5,5;"));
    EXPECT_EQ(StatementModel::displayText("\xE9;"), QString::fromUtf8("é;"));
    m.clear();
    EXPECT_EQ(m.rowCount(), 0);
}

}  // namespace
}  // namespace pm

