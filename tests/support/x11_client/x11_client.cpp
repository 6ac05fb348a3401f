// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A second X client for the desktop tests: makes, names, maps, withdraws,
// minimizes and destroys top-level windows as told on stdin, one command
// per line, and answers each with one line on stdout once the server has
// carried it out.
//
//   new FLAGS TITLE   FLAGS: '-' or letters: m mapped, o override-redirect,
//                     n WM_NAME only, u no name at all; answers the XID
//   title XID TEXT    sets _NET_WM_NAME (UTF-8) and WM_NAME
//   wmname XID HEX    sets only WM_NAME (STRING, the bytes given in hex)
//   map|withdraw|iconify|destroy XID
//   query XID         answers "map=M state=S" (S -1: no WM_STATE)
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace
{

xcb_connection_t* c;
xcb_screen_t* screen;

xcb_atom_t atom(const char* name)
{
    auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, cookie, nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

void setText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& text)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
}

void sendToRoot(const void* event)
{
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   static_cast<const char*>(event));
}

void sync()
{
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::string rest(std::istringstream& in)
{
    std::string text;
    std::getline(in, text);
    if (!text.empty() && text[0] == ' ')
        text.erase(0, 1);
    return text;
}

} // namespace

int main()
{
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x11_client: cannot connect to the X server\n");
        return 1;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t netWmName = atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    const xcb_atom_t wmState = atom("WM_STATE");
    const xcb_atom_t wmChangeState = atom("WM_CHANGE_STATE");

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        std::string answer = "ok";
        if (cmd == "new") {
            std::string flags;
            in >> flags;
            const std::string title = rest(in);
            const xcb_window_t w = xcb_generate_id(c);
            const std::uint32_t values[] = {screen->white_pixel,
                                            flags.find('o') != std::string::npos ? 1u : 0u};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 10, 10, 160, 90, 1,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                              XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
            if (flags.find('u') == std::string::npos) {
                setText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
                if (flags.find('n') == std::string::npos)
                    setText(w, netWmName, utf8, title);
            }
            if (flags.find('m') != std::string::npos)
                xcb_map_window(c, w);
            answer = std::to_string(w);
        } else {
            xcb_window_t w = 0;
            in >> w;
            if (cmd == "title") {
                const std::string text = rest(in);
                setText(w, netWmName, utf8, text);
                setText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, text);
            } else if (cmd == "wmname") {
                std::string hex, bytes;
                in >> hex;
                for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
                xcb_delete_property(c, w, netWmName);
                setText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, bytes);
            } else if (cmd == "map") {
                xcb_map_window(c, w);
            } else if (cmd == "withdraw") {
                xcb_unmap_window(c, w);
                xcb_unmap_notify_event_t ev[2] = {}; // xcb_send_event sends 32 bytes
                ev[0].response_type = XCB_UNMAP_NOTIFY;
                ev[0].event = screen->root;
                ev[0].window = w;
                sendToRoot(ev);
            } else if (cmd == "iconify") {
                xcb_client_message_event_t ev = {};
                ev.response_type = XCB_CLIENT_MESSAGE;
                ev.format = 32;
                ev.window = w;
                ev.type = wmChangeState;
                ev.data.data32[0] = 3;
                sendToRoot(&ev);
            } else if (cmd == "destroy") {
                xcb_destroy_window(c, w);
            } else if (cmd == "query") {
                auto ac = xcb_get_window_attributes(c, w);
                auto sc = xcb_get_property(c, 0, w, wmState, wmState, 0, 1);
                xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c, ac, nullptr);
                xcb_get_property_reply_t* s = xcb_get_property_reply(c, sc, nullptr);
                long state = -1;
                if (s && s->type == wmState && xcb_get_property_value_length(s) >= 4)
                    state = *static_cast<std::uint32_t*>(xcb_get_property_value(s));
                answer =
                    a ? "map=" + std::to_string(a->map_state) + " state=" + std::to_string(state) : "error";
                std::free(a);
                std::free(s);
            } else if (cmd != "sync") {
                answer = "error unknown command";
            }
        }
        sync();
        while (xcb_generic_event_t* e = xcb_poll_for_event(c))
            std::free(e);
        std::cout << answer << std::endl;
    }
    xcb_disconnect(c);
    return 0;
}
