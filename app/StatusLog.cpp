#include "app/StatusLog.h"

#include <QStatusBar>

#include "app/StatusField.h"
#include "files/SafeFile.h"

namespace pm {

StatusLog::StatusLog(QObject* parent) : QObject(parent) {}

StatusLog::~StatusLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool StatusLog::open(const std::string& path, std::string& error) {
    int err = 0;
    file_ = OpenRecordFile(path, "w", err);
    if (file_ == nullptr) {
        error = "não foi possível criar " + QuotedPath(path) + ": " + FileErrorText(err);
        return false;
    }
    return true;
}

void StatusLog::follow(QStatusBar& bar) {
    for (StatusField* f : bar.findChildren<StatusField*>()) {
        const QString name = f->objectName();
        if (!f->text().isEmpty()) write(name, f->text());
        connect(f, &StatusField::textChanged, this, [this, name](const QString& t) { write(name, t); });
    }
}

void StatusLog::write(const QString& field, const QString& text) {
    if (file_ == nullptr) return;
    QString shown = text;
    shown.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    const QByteArray line = (field + QLatin1Char('\t') + shown + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), file_);
    std::fflush(file_);
}

}  // namespace pm
