#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/WakePipe.h"
#include "importer/Drawing.h"
#include "importer/Plot.h"

class QProgressDialog;
class QSocketNotifier;
class QTimer;

namespace pm {

// Converts the drawing chosen at "Abrir" (HPGL, G-code, SVG) to its plot
// file on a thread of its own, so that neither the window's thread nor the
// machine thread ever waits for a reader of a slow or huge drawing: during
// a job the operator can still cancel, pause and end the program.
//
// A small window, not modal, shows the drawing's name and the statements
// written so far, with "Cancelar". Cancelling, or starting another
// conversion, abandons the running one: it is told to stop (a converter
// stops at its next few thousand statements; a reader that blocks is left
// to itself), and whatever it still gives is dropped and written nowhere.
// Nothing here waits for a conversion thread: one still running when this
// object goes is left to end on its own, holding only what it shares with
// no one else.
class DrawingConversion final : public QObject {
    Q_OBJECT
public:
    // parent: the window the progress shows over.
    explicit DrawingConversion(QWidget* parent);
    ~DrawingConversion() override;
    DrawingConversion(const DrawingConversion&) = delete;
    DrawingConversion& operator=(const DrawingConversion&) = delete;

    // Starts converting the drawing at in to the plot file out (both as
    // the system names them), with options. Abandons a conversion still
    // running.
    void start(const std::string& in, const std::string& out, const DrawingOptions& options = {});
    // "Cancelar": abandons the running conversion.
    void cancel();
    // Whether a conversion runs that has not been abandoned.
    bool running() const;
    // Tests: waits for every conversion thread (abandoned ones included)
    // and delivers what they gave.
    void waitForDone();

    // A conversion that ran to its end, on the window's thread: the result
    // (ok, or refused with its error), the drawing and the plot file.
    std::function<void(const DrawingResult& result, const std::string& in, const std::string& out)>
        onFinished;

private:
    struct Shared;
    struct Job {
        std::shared_ptr<Shared> shared;
        std::thread thread;
    };
    // The conversion itself, on its own thread.
    static void Convert(const std::shared_ptr<Shared>& s);
    void deliver();
    void showProgress();
    void closeProgress();

    std::shared_ptr<WakePipe> notify_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<Job> jobs_;
    std::shared_ptr<Shared> current_;  // null when none runs
    QPointer<QProgressDialog> progress_;
    QTimer* tick_ = nullptr;
    QString shownName_;
};

}  // namespace pm
