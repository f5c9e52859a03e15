#include "app/SettingsStore.h"

#include <QFile>

namespace pm {

namespace {

constexpr const char* kStepsX = "maquina/meiosPassosPorMmX";
constexpr const char* kStepsY = "maquina/meiosPassosPorMmY";
constexpr const char* kTravelX = "maquina/cursoX";
constexpr const char* kTravelY = "maquina/cursoY";
constexpr const char* kAllowX = "maquina/folgaHomeX";
constexpr const char* kAllowY = "maquina/folgaHomeY";
constexpr const char* kZCycles = "maquina/ciclosZPorMm";
constexpr const char* kAccel = "maquina/aceleracao";
constexpr const char* kStartRate = "maquina/velocidadeDePartida";
constexpr const char* kTravelSpeed = "maquina/velocidadeDosDeslocamentos";
constexpr const char* kLookahead = "maquina/antecipacao";
constexpr const char* kBacklashX = "maquina/folgaX";  // half-steps
constexpr const char* kBacklashY = "maquina/folgaY";
constexpr const char* kDivisor = "janela/divisor";
constexpr const char* kSpeed = "janela/velocidade";
constexpr const char* kScale = "janela/escala";
constexpr const char* kFolder = "janela/ultimaPasta";
constexpr const char* kPort = "janela/porta";
constexpr const char* kShortenPath = "janela/otimizarPercurso";
constexpr const char* kRecent = "janela/recentes";

}  // namespace

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QStringLiteral("portmill"), QStringLiteral("portmill"))) {}

SettingsStore::SettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

void SettingsStore::put(const char* key, const QVariant& value) {
    const QString k = QString::fromLatin1(key);
    if (settings_->value(k) == value) return;
    settings_->setValue(k, value);
    // Out to the file now: "Sair" ends the process without unwinding, and
    // QSettings would otherwise write a moment later.
    settings_->sync();
}

MachineSettings SettingsStore::machine() const {
    MachineSettings m;
    const auto read = [this](const char* key, double& out) {
        bool ok = false;
        const double v = settings_->value(QString::fromLatin1(key)).toDouble(&ok);
        if (ok) out = v;
    };
    read(kStepsX, m.StepsPerMmX);
    read(kStepsY, m.StepsPerMmY);
    read(kTravelX, m.TravelX);
    read(kTravelY, m.TravelY);
    read(kAllowX, m.HomeAllowanceX);
    read(kAllowY, m.HomeAllowanceY);
    read(kZCycles, m.ZCyclesPerMm);
    read(kAccel, m.accel);
    read(kStartRate, m.startRate);
    double travelSpeed = m.travelSpeed;
    read(kTravelSpeed, travelSpeed);
    m.travelSpeed = static_cast<int>(travelSpeed);
    double lookahead = m.lookahead;
    read(kLookahead, lookahead);
    m.lookahead = static_cast<int>(lookahead);
    double playX = m.BacklashX;
    double playY = m.BacklashY;
    read(kBacklashX, playX);
    read(kBacklashY, playY);
    m.BacklashX = static_cast<int>(playX);
    m.BacklashY = static_cast<int>(playY);
    // A file edited by hand, or by another version, is not trusted.
    if (!ValidateMachineSettings(m).empty()) return MachineSettings{};
    return m;
}

void SettingsStore::setMachine(const MachineSettings& m) {
    put(kStepsX, m.StepsPerMmX);
    put(kStepsY, m.StepsPerMmY);
    put(kTravelX, m.TravelX);
    put(kTravelY, m.TravelY);
    put(kAllowX, m.HomeAllowanceX);
    put(kAllowY, m.HomeAllowanceY);
    put(kZCycles, m.ZCyclesPerMm);
    put(kAccel, m.accel);
    put(kStartRate, m.startRate);
    put(kTravelSpeed, m.travelSpeed);
    put(kLookahead, m.lookahead);
    put(kBacklashX, m.BacklashX);
    put(kBacklashY, m.BacklashY);
}

std::optional<int> SettingsStore::wholeIn(const char* key, int lo, int hi) const {
    bool ok = false;
    const int v = settings_->value(QString::fromLatin1(key)).toInt(&ok);
    if (!ok || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<QString> SettingsStore::divisor() const {
    const QVariant v = settings_->value(QString::fromLatin1(kDivisor));
    if (!v.isValid()) return std::nullopt;
    return v.toString();
}
void SettingsStore::setDivisor(const QString& text) { put(kDivisor, text); }

std::optional<int> SettingsStore::speed() const { return wholeIn(kSpeed, 0, 40); }
void SettingsStore::setSpeed(int v) { put(kSpeed, v); }
std::optional<int> SettingsStore::scale() const { return wholeIn(kScale, -3, 10); }
void SettingsStore::setScale(int v) { put(kScale, v); }

QString SettingsStore::lastFolder() const { return settings_->value(QString::fromLatin1(kFolder)).toString(); }
void SettingsStore::setLastFolder(const QString& folder) { put(kFolder, folder); }
QString SettingsStore::port() const { return settings_->value(QString::fromLatin1(kPort)).toString(); }
void SettingsStore::setPort(const QString& name) { put(kPort, name); }

bool SettingsStore::shortenPath() const { return settings_->value(QString::fromLatin1(kShortenPath), false).toBool(); }
void SettingsStore::setShortenPath(bool on) { put(kShortenPath, on); }

QStringList SettingsStore::recentFiles() const {
    QStringList files = settings_->value(QString::fromLatin1(kRecent)).toStringList();
    files.removeAll(QString());
    files.removeDuplicates();
    while (files.size() > kRecentFiles) files.removeLast();
    return files;
}

void SettingsStore::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    put(kRecent, files);
}

void SettingsStore::removeRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    put(kRecent, files);
}

StopPoint SettingsStore::stopPoint() const {
    StopPoint at;
    at.file = QFile::encodeName(settings_->value(QStringLiteral("parada/arquivo")).toString()).toStdString();
    at.statement = settings_->value(QStringLiteral("parada/declaracao"), 0).toULongLong();
    at.divisor = settings_->value(QStringLiteral("parada/divisor")).toString().toStdString();
    return at;
}

void SettingsStore::setStopPoint(const StopPoint& at) {
    if (at.statement == 0) {
        settings_->remove(QStringLiteral("parada"));
        return;
    }
    settings_->setValue(QStringLiteral("parada/arquivo"), QFile::decodeName(at.file.c_str()));
    settings_->setValue(QStringLiteral("parada/declaracao"), static_cast<qulonglong>(at.statement));
    settings_->setValue(QStringLiteral("parada/divisor"), QString::fromStdString(at.divisor));
}

}  // namespace pm
