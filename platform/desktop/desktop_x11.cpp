// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The X server's top-level windows, through xcb.
//
// Two connections of the layer's own: callers (any thread) make their
// requests on the query connection; a thread of the layer's own owns the
// event connection, on which it selects SubstructureNotify and
// PropertyChange on the root and PropertyChange and StructureNotify on
// every client, and blocks in poll() on its socket and on an eventfd used
// to stop it. Keeping the two apart means no caller ever reads an event
// off the socket the watching thread sleeps on.
#include "platform/desktop/desktop.h"
#include "platform/desktop/desktop_internal.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace kivo::desktop::detail
{
namespace
{

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using XPtr = std::unique_ptr<T, FreeDeleter>;

// ICCCM WM_STATE values.
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;

// Titles longer than this are never needed (the callers' buffers are small).
constexpr std::uint32_t kMaxTitleLongs = 1024;
// Fetched ahead for a whole enumeration: enough for the usual buffers.
constexpr std::uint32_t kPrefetchLongs = 128;

struct Atoms {
    xcb_atom_t netClientListStacking = XCB_ATOM_NONE;
    xcb_atom_t netClientList = XCB_ATOM_NONE;
    xcb_atom_t netSupportingWmCheck = XCB_ATOM_NONE;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t compoundText = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t wmChangeState = XCB_ATOM_NONE;
};

Atoms internAtoms(xcb_connection_t* c)
{
    static constexpr const char* kNames[] = {
        "_NET_CLIENT_LIST_STACKING",
        "_NET_CLIENT_LIST",
        "_NET_SUPPORTING_WM_CHECK",
        "_NET_WM_NAME",
        "UTF8_STRING",
        "COMPOUND_TEXT",
        "WM_STATE",
        "WM_CHANGE_STATE",
    };
    xcb_intern_atom_cookie_t cookies[std::size(kNames)];
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(kNames[i])), kNames[i]);
    xcb_atom_t values[std::size(kNames)];
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        XPtr<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        values[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    Atoms a;
    a.netClientListStacking = values[0];
    a.netClientList = values[1];
    a.netSupportingWmCheck = values[2];
    a.netWmName = values[3];
    a.utf8String = values[4];
    a.compoundText = values[5];
    a.wmState = values[6];
    a.wmChangeState = values[7];
    return a;
}

std::string latin1ToUtf8(const std::uint8_t* p, std::size_t n)
{
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] < 0x80) {
            out.push_back(static_cast<char>(p[i]));
        } else {
            out.push_back(static_cast<char>(0xC0 | (p[i] >> 6)));
            out.push_back(static_cast<char>(0x80 | (p[i] & 0x3F)));
        }
    }
    return out;
}

// Drops what the server queued for us on the query connection: only errors
// of requests whose window vanished meanwhile, which nobody waits for.
void dropQueued(xcb_connection_t* c)
{
    while (xcb_generic_event_t* e = xcb_poll_for_queued_event(c))
        std::free(e);
}

} // namespace

class X11Desktop
{
  public:
    static std::shared_ptr<X11Desktop> open(const char* display);
    ~X11Desktop();

    xcb_connection_t* query = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    Atoms atoms;
    std::atomic<bool> lost{false};

    // The windows this layer withdrew, in that order.
    std::mutex lock;
    std::vector<xcb_window_t> hidden;

    bool isHidden(xcb_window_t w)
    {
        std::lock_guard g(lock);
        return std::find(hidden.begin(), hidden.end(), w) != hidden.end();
    }
    void forget(xcb_window_t w)
    {
        std::lock_guard g(lock);
        hidden.erase(std::remove(hidden.begin(), hidden.end(), w), hidden.end());
    }

    std::optional<std::vector<xcb_window_t>> windowList(xcb_connection_t* c, xcb_window_t w,
                                                        xcb_atom_t property);
    bool windowManagerRuns(xcb_connection_t* c, const std::optional<std::vector<xcb_window_t>>& check);
    std::vector<xcb_window_t> children(xcb_connection_t* c, xcb_window_t w);
    std::vector<xcb_window_t> clientsBottomUp(xcb_connection_t* c);

  private:
    xcb_window_t findClientBelow(xcb_connection_t* c, xcb_window_t frame, int depth);
    void run();
    void rescan();
    void classify(const xcb_generic_event_t* e, bool& changed, bool& rescanNeeded);

    xcb_connection_t* m_events = nullptr;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    std::set<xcb_window_t> m_watched; // event thread only
};

namespace
{

xcb_get_property_cookie_t askWindowList(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property)
{
    return xcb_get_property(c, 0, w, property, XCB_ATOM_WINDOW, 0, 1u << 16);
}

std::optional<std::vector<xcb_window_t>> readWindowList(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    XPtr<xcb_get_property_reply_t> r(xcb_get_property_reply(c, cookie, nullptr));
    if (!r || r->type != XCB_ATOM_WINDOW || r->format != 32)
        return std::nullopt;
    const auto* v = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
    const int n = xcb_get_property_value_length(r.get()) / 4;
    return std::vector<xcb_window_t>(v, v + n);
}

} // namespace

std::optional<std::vector<xcb_window_t>> X11Desktop::windowList(xcb_connection_t* c, xcb_window_t w,
                                                                xcb_atom_t property)
{
    return readWindowList(c, askWindowList(c, w, property));
}

// EWMH: a window manager that runs names a window of its own on the root,
// and that window names itself. A stale property left by a window manager
// that died fails the second half.
bool X11Desktop::windowManagerRuns(xcb_connection_t* c, const std::optional<std::vector<xcb_window_t>>& check)
{
    if (!check || check->empty())
        return false;
    auto self = windowList(c, check->front(), atoms.netSupportingWmCheck);
    return self && !self->empty() && self->front() == check->front();
}

std::vector<xcb_window_t> X11Desktop::children(xcb_connection_t* c, xcb_window_t w)
{
    XPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* v = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(v, v + xcb_query_tree_children_length(tree.get()));
}

// A window manager that keeps no EWMH list reparents its clients into
// frames; the client is the window below that carries WM_STATE.
xcb_window_t X11Desktop::findClientBelow(xcb_connection_t* c, xcb_window_t frame, int depth)
{
    const std::vector<xcb_window_t> kids = children(c, frame);
    std::vector<xcb_get_property_cookie_t> cookies;
    for (xcb_window_t k : kids)
        cookies.push_back(xcb_get_property(c, 0, k, atoms.wmState, atoms.wmState, 0, 0));
    xcb_window_t found = XCB_WINDOW_NONE;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        XPtr<xcb_get_property_reply_t> r(xcb_get_property_reply(c, cookies[i], nullptr));
        if (found == XCB_WINDOW_NONE && r && r->type == atoms.wmState)
            found = kids[i];
    }
    for (std::size_t i = 0; found == XCB_WINDOW_NONE && depth > 1 && i < kids.size(); ++i)
        found = findClientBelow(c, kids[i], depth - 1);
    return found;
}

std::vector<xcb_window_t> X11Desktop::clientsBottomUp(xcb_connection_t* c)
{
    // The three root properties in one round trip: this runs on every pass.
    const auto checkCookie = askWindowList(c, root, atoms.netSupportingWmCheck);
    const auto stackingCookie = askWindowList(c, root, atoms.netClientListStacking);
    const auto listCookie = askWindowList(c, root, atoms.netClientList);
    const auto check = readWindowList(c, checkCookie);
    auto stacking = readWindowList(c, stackingCookie);
    auto list = readWindowList(c, listCookie);
    if (windowManagerRuns(c, check)) {
        if (stacking)
            return std::move(*stacking);
        if (list)
            return std::move(*list);
    }
    // No EWMH list: the root's children that are (or hold) ICCCM clients. A
    // program mapping a window without any window manager sets no WM_STATE,
    // so a named, ordinary top-level window counts as well.
    const std::vector<xcb_window_t> kids = children(c, root);
    struct Probe {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t state, name, netName;
    };
    std::vector<Probe> probes;
    probes.reserve(kids.size());
    for (xcb_window_t k : kids) {
        probes.push_back({xcb_get_window_attributes(c, k),
                          xcb_get_property(c, 0, k, atoms.wmState, atoms.wmState, 0, 0),
                          xcb_get_property(c, 0, k, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
                          xcb_get_property(c, 0, k, atoms.netWmName, XCB_GET_PROPERTY_TYPE_ANY, 0, 0)});
    }
    std::vector<xcb_window_t> clients;
    std::vector<xcb_window_t> frames;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        XPtr<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, probes[i].attributes, nullptr));
        XPtr<xcb_get_property_reply_t> state(xcb_get_property_reply(c, probes[i].state, nullptr));
        XPtr<xcb_get_property_reply_t> name(xcb_get_property_reply(c, probes[i].name, nullptr));
        XPtr<xcb_get_property_reply_t> netName(xcb_get_property_reply(c, probes[i].netName, nullptr));
        if (!a || a->override_redirect || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        const bool hasState = state && state->type == atoms.wmState;
        const bool named =
            (name && name->type != XCB_ATOM_NONE) || (netName && netName->type != XCB_ATOM_NONE);
        if (hasState || named) {
            clients.push_back(kids[i]);
        } else {
            clients.push_back(XCB_WINDOW_NONE);
            frames.push_back(kids[i]);
        }
    }
    // Frames are searched after the replies above are in, keeping the probes
    // pipelined; a frame's client takes the frame's place in the stacking.
    std::size_t f = 0;
    for (xcb_window_t& w : clients) {
        if (w == XCB_WINDOW_NONE)
            w = findClientBelow(c, frames[f++], 2);
    }
    clients.erase(std::remove(clients.begin(), clients.end(), XCB_WINDOW_NONE), clients.end());
    return clients;
}

std::shared_ptr<X11Desktop> X11Desktop::open(const char* display)
{
    auto x = std::make_shared<X11Desktop>();
    int screenNumber = 0;
    x->query = xcb_connect(display, &screenNumber);
    x->m_events = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(x->query) || xcb_connection_has_error(x->m_events))
        return nullptr;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x->query));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem <= 0)
        return nullptr;
    x->root = it.data->root;
    x->atoms = internAtoms(x->query);
    x->m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (x->m_wakeFd < 0)
        return nullptr;

    // Watch before anyone looks: whatever changes after open() returns
    // produces an event.
    const std::uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x->m_events, x->root, XCB_CW_EVENT_MASK, &rootMask);
    x->rescan();
    xcb_flush(x->m_events);
    x->m_thread = std::thread([raw = x.get()] { raw->run(); });
    return x;
}

X11Desktop::~X11Desktop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    if (m_events)
        xcb_disconnect(m_events);
    if (query)
        xcb_disconnect(query);
}

void X11Desktop::rescan()
{
    std::vector<xcb_window_t> candidates = children(m_events, root);
    for (xcb_window_t w : clientsBottomUp(m_events))
        candidates.push_back(w);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    std::set<xcb_window_t> now(candidates.begin(), candidates.end());
    for (xcb_window_t w : now) {
        if (!m_watched.count(w))
            xcb_change_window_attributes(m_events, w, XCB_CW_EVENT_MASK, &mask);
    }
    m_watched = std::move(now);
}

void X11Desktop::classify(const xcb_generic_event_t* e, bool& changed, bool& rescanNeeded)
{
    switch (e->response_type & 0x7F) {
    case XCB_CREATE_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_REPARENT_NOTIFY:
        rescanNeeded = true;
        break;
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
        changed = true;
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        if (p->atom == XCB_ATOM_WM_NAME || p->atom == atoms.netWmName || p->atom == atoms.wmState)
            changed = true;
        else if (p->window == root &&
                 (p->atom == atoms.netClientList || p->atom == atoms.netClientListStacking ||
                  p->atom == atoms.netSupportingWmCheck))
            rescanNeeded = true;
        break;
    }
    default:
        // Errors (a window vanished before we selected on it), moves and
        // resizes, other properties: nothing a watcher looks at.
        break;
    }
}

void X11Desktop::run()
{
    pollfd fds[2] = {{xcb_get_file_descriptor(m_events), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (!m_stopping) {
        bool changed = false;
        bool rescanNeeded = false;
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_events)) {
            classify(e, changed, rescanNeeded);
            std::free(e);
        }
        if (xcb_connection_has_error(m_events)) {
            lost = true;
            notifyChange();
            return;
        }
        if (rescanNeeded)
            rescan();
        if (changed || rescanNeeded)
            notifyChange();
        // The rescan's replies may have queued more events: look at them
        // before sleeping.
        if (rescanNeeded)
            continue;
        xcb_flush(m_events);
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            lost = true;
            notifyChange();
            return;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t v;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &v, sizeof v);
        }
    }
}

// ---- the calls ------------------------------------------------------------

namespace
{

struct XHolder {
    std::mutex lock;
    std::shared_ptr<X11Desktop> x;
    bool tried = false;
};

XHolder& holder()
{
    static auto* h = new XHolder; // outlives exit, see ChangeCount
    return *h;
}

} // namespace

std::shared_ptr<X11Desktop> x11()
{
    XHolder& h = holder();
    std::lock_guard g(h.lock);
    if (!h.tried) {
        h.tried = true;
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            h.x = X11Desktop::open(display);
    }
    if (h.x && h.x->lost)
        h.x.reset();
    return h.x;
}

void shutdownX11()
{
    std::shared_ptr<X11Desktop> gone;
    {
        XHolder& h = holder();
        std::lock_guard g(h.lock);
        gone = std::move(h.x);
        h.tried = false;
    }
}

std::vector<std::uint32_t> x11Windows(X11Desktop& x)
{
    std::vector<xcb_window_t> list = x.clientsBottomUp(x.query);
    std::reverse(list.begin(), list.end());
    std::vector<xcb_window_t> hidden;
    {
        std::lock_guard g(x.lock);
        hidden = x.hidden;
    }
    // Windows we withdrew stay enumerable (invisible) as on Windows, until
    // they are destroyed or someone maps them again.
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (xcb_window_t w : hidden)
        cookies.push_back(xcb_get_window_attributes(x.query, w));
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        XPtr<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(x.query, cookies[i], nullptr));
        if (!a || a->map_state != XCB_MAP_STATE_UNMAPPED)
            x.forget(hidden[i]);
        else if (std::find(list.begin(), list.end(), hidden[i]) == list.end())
            list.push_back(hidden[i]);
    }
    dropQueued(x.query);
    return list;
}

namespace
{

struct TitleRequest {
    xcb_get_property_cookie_t net;
    xcb_get_property_cookie_t name;
};

TitleRequest askTitle(X11Desktop& x, std::uint32_t w, std::uint32_t longs)
{
    return {xcb_get_property(x.query, 0, w, x.atoms.netWmName, x.atoms.utf8String, 0, longs),
            xcb_get_property(x.query, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, longs)};
}

// False for an unknown window. complete: the whole title was fetched.
bool readTitle(X11Desktop& x, const TitleRequest& request, std::string& title, bool& complete)
{
    xcb_generic_error_t* error = nullptr;
    XPtr<xcb_get_property_reply_t> net(xcb_get_property_reply(x.query, request.net, &error));
    std::free(error);
    error = nullptr;
    XPtr<xcb_get_property_reply_t> name(xcb_get_property_reply(x.query, request.name, &error));
    std::free(error);
    if (!net && !name)
        return false;
    title.clear();
    complete = true;
    if (net && net->type == x.atoms.utf8String && net->format == 8) {
        title.assign(static_cast<const char*>(xcb_get_property_value(net.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(net.get())));
        complete = net->bytes_after == 0;
    } else if (name && name->format == 8 && name->type != XCB_ATOM_NONE) {
        const auto* p = static_cast<const std::uint8_t*>(xcb_get_property_value(name.get()));
        const auto n = static_cast<std::size_t>(xcb_get_property_value_length(name.get()));
        // STRING is Latin-1; COMPOUND_TEXT without escape sequences is too.
        const bool latin1 = name->type == XCB_ATOM_STRING ||
                            (name->type == x.atoms.compoundText && std::find(p, p + n, 0x1B) == p + n);
        title = latin1 ? latin1ToUtf8(p, n) : std::string(reinterpret_cast<const char*>(p), n);
        complete = name->bytes_after == 0;
    }
    return true;
}

} // namespace

bool x11Title(X11Desktop& x, std::uint32_t w, std::size_t maxBytes, std::string& title)
{
    const auto longs = static_cast<std::uint32_t>(std::min<std::size_t>(maxBytes / 4 + 1, kMaxTitleLongs));
    bool complete = false;
    if (!readTitle(x, askTitle(x, w, longs), title, complete))
        return false;
    if (title.size() > maxBytes)
        title.resize(maxBytes);
    return true;
}

std::unordered_map<std::uint32_t, PrefetchedTitle> x11Titles(X11Desktop& x,
                                                             const std::vector<std::uint32_t>& windows)
{
    std::vector<TitleRequest> requests;
    requests.reserve(windows.size());
    for (std::uint32_t w : windows)
        requests.push_back(askTitle(x, w, kPrefetchLongs));
    std::unordered_map<std::uint32_t, PrefetchedTitle> titles;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        PrefetchedTitle t;
        if (readTitle(x, requests[i], t.title, t.complete))
            titles.emplace(windows[i], std::move(t));
    }
    return titles;
}

int x11Visible(X11Desktop& x, std::uint32_t w)
{
    auto attrCookie = xcb_get_window_attributes(x.query, w);
    auto stateCookie = xcb_get_property(x.query, 0, w, x.atoms.wmState, x.atoms.wmState, 0, 1);
    xcb_generic_error_t* error = nullptr;
    XPtr<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(x.query, attrCookie, &error));
    std::free(error);
    error = nullptr;
    XPtr<xcb_get_property_reply_t> state(xcb_get_property_reply(x.query, stateCookie, &error));
    std::free(error);
    if (!a)
        return -1;
    // Mapped (even inside an unmapped frame, as on another virtual desktop):
    // shown. Unmapped: still visible while the window manager keeps it
    // Iconic (minimized) or Normal (some unmap clients on other desktops),
    // withdrawn otherwise -- and always withdrawn once we hid it ourselves,
    // whatever a window manager that has not caught up yet still says.
    if (a->map_state != XCB_MAP_STATE_UNMAPPED)
        return 1;
    if (x.isHidden(w))
        return 0;
    if (state && state->type == x.atoms.wmState && state->format == 32 &&
        xcb_get_property_value_length(state.get()) >= 4) {
        const std::uint32_t s = *static_cast<const std::uint32_t*>(xcb_get_property_value(state.get()));
        return s == kNormalState || s == kIconicState ? 1 : 0;
    }
    return 0;
}

int x11Show(X11Desktop& x, std::uint32_t w, int cmdShow)
{
    const int before = x11Visible(x, w);
    if (before < 0)
        return before;
    switch (cmdShow) {
    case SW_HIDE:
        if (before > 0) {
            // ICCCM 4.1.4: unmap, then tell the window manager with a
            // synthetic UnmapNotify on the root, so that it withdraws even
            // a minimized (already unmapped) window.
            xcb_unmap_window(x.query, w);
            alignas(4) char buf[32] = {};
            auto* ev = reinterpret_cast<xcb_unmap_notify_event_t*>(buf);
            ev->response_type = XCB_UNMAP_NOTIFY;
            ev->event = x.root;
            ev->window = w;
            ev->from_configure = 0;
            xcb_send_event(x.query, 0, x.root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, buf);
            std::lock_guard g(x.lock);
            if (std::find(x.hidden.begin(), x.hidden.end(), w) == x.hidden.end())
                x.hidden.push_back(w);
        }
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE: {
        if (before == 0)
            xcb_map_window(x.query, w);
        x.forget(w);
        // ICCCM 4.1.4: ask the window manager for the Iconic state.
        alignas(4) char buf[32] = {};
        auto* ev = reinterpret_cast<xcb_client_message_event_t*>(buf);
        ev->response_type = XCB_CLIENT_MESSAGE;
        ev->format = 32;
        ev->window = w;
        ev->type = x.atoms.wmChangeState;
        ev->data.data32[0] = kIconicState;
        xcb_send_event(x.query, 0, x.root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, buf);
        break;
    }
    case SW_SHOW:
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
        // Shown in its current state: a minimized window stays minimized.
        if (before == 0)
            xcb_map_window(x.query, w);
        x.forget(w);
        break;
    default:
        // Mapping an iconic window asks the window manager for Normal.
        xcb_map_window(x.query, w);
        x.forget(w);
        break;
    }
    xcb_flush(x.query);
    dropQueued(x.query);
    notifyChange();
    return before;
}

} // namespace kivo::desktop::detail
