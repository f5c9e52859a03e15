#include "app/X11Session.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>
// The XKB header names a member "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace pm {

namespace {

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

class TitleKeeper final : public QObject {
public:
    TitleKeeper(QWidget* window, xcb_atom_t netWmName)
        : QObject(window), window_(window), netWmName_(netWmName) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        const auto type = e->type();
        if (watched == window_ && window_->windowTitle().isEmpty() &&
            (type == QEvent::Show || type == QEvent::WindowTitleChange ||
             type == QEvent::WinIdChange)) {
            if (xcb_connection_t* c = Connection(); c != nullptr && window_->internalWinId() != 0) {
                xcb_delete_property(c, static_cast<xcb_window_t>(window_->internalWinId()),
                                    netWmName_);
                xcb_flush(c);
            }
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QWidget* window_;
    xcb_atom_t netWmName_;
};

}  // namespace

void UseDetectableAutoRepeat() {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return;
    std::unique_ptr<xcb_xkb_use_extension_reply_t, FreeReply> use(
        xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    if (!use || use->supported == 0) return;
    const auto flag = static_cast<std::uint32_t>(XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT);
    std::unique_ptr<xcb_xkb_per_client_flags_reply_t, FreeReply> set(xcb_xkb_per_client_flags_reply(
        c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
}

void KeepEmptyTitle(QWidget* window) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return;
    constexpr char kName[] = "_NET_WM_NAME";
    std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr));
    if (!atom) return;
    window->installEventFilter(new TitleKeeper(window, atom->atom));
}

}  // namespace pm
