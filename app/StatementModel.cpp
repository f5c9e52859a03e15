#include "app/StatementModel.h"

#include <climits>

namespace pm {

int StatementModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant StatementModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return {};
    return displayText(list_.at(static_cast<std::size_t>(index.row())));
}

void StatementModel::clear() {
    beginResetModel();
    list_.clear();
    shown_ = 0;
    endResetModel();
}

bool StatementModel::publish() {
    // A view counts rows in int; entries past that stay stored but unseen.
    const std::size_t limit = static_cast<std::size_t>(INT_MAX);
    const int total = static_cast<int>(list_.size() < limit ? list_.size() : limit);
    if (total == shown_) return false;
    beginInsertRows(QModelIndex(), shown_, total - 1);
    shown_ = total;
    endInsertRows();
    return true;
}

QString StatementModel::displayText(std::string_view entry) {
    QString s = QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size()));
    for (QChar& ch : s) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) ch = QChar(0x00B6);
    }
    return s;
}

}  // namespace pm
