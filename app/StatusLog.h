#pragma once
#include <QObject>
#include <QString>
#include <cstdio>
#include <string>

class QStatusBar;

namespace pm {

// The status record of --status: a line "<field>\t<text>" each time a field
// of the status bar shows a new text, written and handed to the system at
// once, so a test or a tool reads what the operator reads as it changes. A
// line feed inside a text is written as "\n". The fields are the status
// bar's StatusField children, named by their object names.
class StatusLog final : public QObject {
    Q_OBJECT
public:
    explicit StatusLog(QObject* parent = nullptr);
    ~StatusLog() override;
    StatusLog(const StatusLog&) = delete;
    StatusLog& operator=(const StatusLog&) = delete;

    // Creates the record (standard output by any of its names is written
    // as the stream). False with the reason in error.
    bool open(const std::string& path, std::string& error);
    // Follows every field the bar has now, each starting with its present
    // text.
    void follow(QStatusBar& bar);
    void write(const QString& field, const QString& text);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace pm
