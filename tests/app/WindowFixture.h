#pragma once
// The window under test: a window on a virtual clock and a simulated
// machine seen through a trace, offscreen, with helpers to press its controls
// and answer its message boxes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/Canvas.h"
#include "app/Form1.h"
#include "app/StatementModel.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

// QString in test failures as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace pm::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Records the addresses the desktop was asked to open.
class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// A port that cannot be driven.
class MissingPort final : public Port {
public:
    void vbOut(std::int16_t, std::int16_t) override {}
    std::int16_t vbInp(std::int16_t) override { return 0x7F; }
    std::string fault() const override { return "Sem permissão para abrir /dev/parport0"; }
    std::string describe() const override { return "Porta paralela /dev/parport0"; }
};

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        auto clock = std::make_unique<VirtualClock>();
        clock_ = clock.get();
        auto trace = std::make_unique<TracePort>(sim_, [c = clock_] { return c->nowNs(); });
        trace->setRecordReads(false);
        trace_ = trace.get();
        Form1::Options o;
        o.startTimer = false;
        o.clockTicks = true;
        o.lockstep = true;
        form_ = std::make_unique<Form1>(std::move(trace), std::move(clock), o);
        form_->onExit = [this] { ++exits_; };
        // The window's questions go on as before they were asked: the cut,
        // the stop at the end, a start from a statement where the machine is.
        form_->ask = [](const std::string&, const std::vector<std::string>& buttons) {
            const auto here = std::find(buttons.begin(), buttons.end(), "Começar daqui");
            return here != buttons.end() ? static_cast<int>(here - buttons.begin()) : 0;
        };
        form_->show();
    }

    template <typename W = QWidget>
    W* w(const char* name) {
        auto* found = form_->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QAction* action(const char* name) { return w<QAction>(name); }
    // A click, and what it started run to its end, unless the click comes
    // from inside a pump (the machine thread takes it when the pump ends).
    void click(const char* name) {
        w<QAbstractButton>(name)->click();
        if (!form_->insidePump()) form_->settle();
    }

    // Writes a plot file and makes it the chosen one.
    void choose(const QByteArray& text) {
        path_ = dir_.filePath(QStringLiteral("desenho.red"));
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        form_->SetCaption(QFile::encodeName(path_).toStdString());
    }

    // Closes the next message box when it shows, keeping its text.
    void closeNextMessageBox() { closeMessageBoxes(1); }
    // Closes the next n message boxes, clicking the queued answers_ first.
    void closeMessageBoxes(int n) {
        boxesToClose_ = n;
        QTimer::singleShot(0, [this] { pollBox(); });
    }
    void pollBox() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            messages_.push_back(box->text());
            titles_.push_back(box->windowTitle());
            icons_.push_back(box->icon());
            buttons_.push_back(static_cast<int>(box->buttons().size()));
            names_.push_back(box->objectName());
            if (!answers_.empty() && box->button(answers_.front()) != nullptr) {
                QAbstractButton* answer = box->button(answers_.front());
                answers_.erase(answers_.begin());
                answer->click();
            } else {
                box->accept();
            }
            if (--boxesToClose_ > 0) QTimer::singleShot(0, [this] { pollBox(); });
            return;
        }
        QTimer::singleShot(5, [this] { pollBox(); });
    }

    SimulatedMachine sim_;
    VirtualClock* clock_ = nullptr;
    TracePort* trace_ = nullptr;
    std::unique_ptr<Form1> form_;
    QTemporaryDir dir_;
    QString path_;
    int exits_ = 0;
    QStringList messages_, titles_;
    std::vector<QMessageBox::Icon> icons_;
    std::vector<int> buttons_;
    QStringList names_;
    std::vector<QMessageBox::StandardButton> answers_;
    int boxesToClose_ = 0;
};

}  // namespace pm::test
