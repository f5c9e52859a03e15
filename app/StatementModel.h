#pragma once
#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QListView>

#include "motion/StatementList.h"

namespace pm {

// List1's entries for the view. The statements live compactly in a
// StatementList; rows reach the view in batches when the window refreshes,
// not one signal per statement.
class StatementModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Stores an entry; the view learns of it at the next publish().
    void add(std::string_view entry) { list_.add(entry); }
    void clear();
    // Tells the view about the entries added since the last call. Returns
    // whether there were any.
    bool publish();
    bool hasUnpublished() const { return list_.size() > static_cast<std::size_t>(shown_); }

    std::size_t size() const { return list_.size(); }
    std::string_view at(std::size_t i) const { return list_.at(i); }
    std::size_t bytes() const { return list_.bytes(); }

    // How an entry reads on the screen: the file's 8-bit characters, with the
    // line breaks and other control characters shown as a pilcrow.
    static QString displayText(std::string_view entry);

private:
    StatementList list_;
    int shown_ = 0;  // rows the view knows of
};

// List1: a list view that keeps what its last full layout cost, so the
// window can space the arrival of rows by it.
class StatementView final : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;
    void doItemsLayout() override {
        QElapsedTimer t;
        t.start();
        QListView::doItemsLayout();
        layoutNs_ = t.nsecsElapsed();
    }
    std::int64_t layoutNs() const { return layoutNs_; }

private:
    std::int64_t layoutNs_ = 0;
};

}  // namespace pm
