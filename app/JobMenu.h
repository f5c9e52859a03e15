#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLineEdit;
class QSlider;
class QLabel;
class QMenu;
class QTimer;
class QWidget;

namespace pm {

class Canvas;
class Form1;
class StatusField;
class SettingsStore;

// The "Trabalho" menu of the window and what goes with it: the machine's
// settings ("Máquina…"), the way back to the job's origin, the lost-step
// check ("Verificar posição"), the scale that
// fits the drawing, the recent files, the port; the machine's place in the
// status bar; the work area and the tool on the canvas; and the settings the
// window remembers (when it has a store).
class JobMenu final : public QObject {
    Q_OBJECT
public:
    // The window's controls whose values are remembered, or set by an item.
    struct Widgets {
        QLineEdit* divisor = nullptr;
        QSlider* speed = nullptr;
        QSlider* scale = nullptr;
        QCheckBox* motors = nullptr;
        Canvas* canvas = nullptr;  // its "Ajustar" fits the drawing, as "Ajustar escala" does
    };
    // portName: the name of the port the window drives now.
    JobMenu(Form1& form, const Widgets& widgets, std::shared_ptr<SettingsStore> store, QString portName);
    ~JobMenu() override;
    JobMenu(const JobMenu&) = delete;
    JobMenu& operator=(const JobMenu&) = delete;

    QMenu* menu() const { return menu_; }
    // Adds an item to the menu, before "Porta…" and its separator when
    // before is null, or before the given item.
    QAction* addItem(const QString& caption, const char* name, std::function<void()> handler,
                     QAction* before = nullptr);

    // Handlers of the items.
    void Maquina_Click();
    void VoltarOrigem_Click();
    void VerificarPosicao_Click();
    void AjustarEscala_Click();
    void AbrirRecente(const QString& path);
    void Porta_Click();

    // Called by the window: before "Fresar" starts a job (the work-area
    // warning), after a file was chosen, and when the status bar is brought
    // up to date.
    void BeforeJob();
    void FileOpened(const QString& path);
    void UpdateStatus();

    const QString& portName() const { return portName_; }
    // Whether "Otimizar o percurso" is ticked: conversions take the
    // shortest tool-up path.
    bool shortenPath() const;

private:
    // The work area and the tool's place on the canvas, at the scale.
    void UpdateCanvasMarks();
    void LoadSettings();
    void FillRecentMenu();

    Form1& form_;
    Widgets widgets_;
    std::shared_ptr<SettingsStore> store_;
    QString portName_;
    QMenu* menu_ = nullptr;
    QMenu* recent_ = nullptr;
    QAction* portAction_ = nullptr;
    QAction* shortenPath_ = nullptr;
    QAction* tail_ = nullptr;  // the separator before "Porta…"
    StatusField* position_ = nullptr;
};

}  // namespace pm
