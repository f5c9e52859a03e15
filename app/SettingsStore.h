#pragma once
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "motion/MachineSettings.h"
#include "motion/MachineState.h"

namespace pm {

// What the window remembers between runs, in the user's settings (QSettings):
// the machine, the divisor, the speed, the scale, the folder of the last
// "Abrir", the port and the last files opened. Every value is written as
// soon as it changes. "Ativar Motores" is never remembered: the motors start
// off at every start.
class SettingsStore {
public:
    // The user's own settings of this program.
    SettingsStore();
    // Settings in the given INI file (tests, or a machine of its own).
    explicit SettingsStore(const QString& iniFile);

    static constexpr int kRecentFiles = 10;

    // The machine; values out of range fall back to the defaults.
    MachineSettings machine() const;
    void setMachine(const MachineSettings& m);

    std::optional<QString> divisor() const;
    void setDivisor(const QString& text);
    std::optional<int> speed() const;   // the speed, 0..40
    void setSpeed(int v);
    std::optional<int> scale() const;   // the preview scale, -3..10
    void setScale(int v);
    QString lastFolder() const;
    void setLastFolder(const QString& folder);
    QString port() const;               // a name OpenPort knows, empty if none
    void setPort(const QString& name);
    // "Otimizar o percurso" for the drawings converted; off at first.
    bool shortenPath() const;
    void setShortenPath(bool on);

    // Where the last job stopped, for "Começar da declaração…" (statement 0
    // when nothing is kept); a stop point at statement 0 forgets it.
    StopPoint stopPoint() const;
    void setStopPoint(const StopPoint& at);

    // The last files opened, newest first.
    QStringList recentFiles() const;
    // Puts path first (once), keeping at most kRecentFiles.
    void addRecentFile(const QString& path);
    void removeRecentFile(const QString& path);

    // Writes everything out now (each change is written as it is made).
    void sync() { settings_->sync(); }

private:
    std::optional<int> wholeIn(const char* key, int lo, int hi) const;
    void put(const char* key, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace pm
