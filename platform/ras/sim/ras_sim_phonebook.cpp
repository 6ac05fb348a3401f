// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ras/sim/ras_sim_phonebook.h"

#include "platform/ras/ras.h"
#include "platform/ras/ras_backend.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kivo::ras::sim
{
namespace
{

std::string_view trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

template <typename T> bool parseNumber(std::string_view text, T& out)
{
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty();
}

// Codes that belong to opening the port, to logging on and to setting up
// the network after the log-on; the rest fail while the device connects.
DWORD failureState(DWORD code)
{
    switch (code) {
    case ERROR_PORT_ALREADY_OPEN:
    case ERROR_DEVICE_DOES_NOT_EXIST:
    case ERROR_PORT_NOT_AVAILABLE:
    case ERROR_HARDWARE_FAILURE:
        return RASCS_OpenPort;
    case ERROR_AUTHENTICATION_FAILURE:
    case ERROR_PPP_TIMEOUT:
    case ERROR_PPP_LCP_TERMINATED:
    case ERROR_PPP_LOOPBACK_DETECTED:
    case ERROR_UNABLE_TO_AUTHENTICATE_SERVER:
        return RASCS_Authenticate;
    case ERROR_IP_CONFIGURATION:
        return RASCS_Authenticated;
    default:
        return RASCS_ConnectDevice;
    }
}

bool parseOutcomes(std::string_view value, std::vector<Attempt>& out, std::string& why)
{
    out.clear();
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string item = lower(trim(value.substr(0, comma)));
        Attempt a;
        if (item == "connect") {
            a.outcome = Outcome::Connect;
        } else if (item == "busy") {
            a.outcome = Outcome::Busy;
        } else if (item == "noanswer") {
            a.outcome = Outcome::NoAnswer;
        } else if (item == "nodialtone") {
            a.outcome = Outcome::NoDialTone;
        } else if (item == "badpassword") {
            a.outcome = Outcome::BadPassword;
        } else if (item.starts_with("fail:")) {
            // 600 and 601 would read as "still dialing" to a caller polling
            // the status, and lower codes are not RAS errors.
            a.outcome = Outcome::Fail;
            if (!parseNumber(trim(std::string_view(item).substr(5)), a.code) || a.code < 602 ||
                a.code > 999) {
                why = "fail:CODE needs a RAS error code from 602 to 999";
                return false;
            }
        } else {
            why = item.empty() ? "empty outcome in the list"
                               : "unknown outcome \"" + item +
                                     "\" (connect, busy, noanswer, nodialtone, badpassword, fail:CODE)";
            return false;
        }
        out.push_back(a);
        if (comma == std::string_view::npos)
            return true;
        value.remove_prefix(comma + 1);
    }
}

// Applies one KEY=VALUE line to an entry; false with a reason when the value
// is not usable (the entry then keeps what it had).
bool applyKey(Entry& e, const std::string& key, std::string_view value, std::string& why)
{
    const auto text = [&](std::string& field, std::size_t max, const char* what) {
        if (value.size() > max) {
            why = std::string(what) + " longer than " + std::to_string(max) + " bytes";
            return false;
        }
        field = std::string(value);
        return true;
    };
    if (key == "phonenumber")
        return text(e.phoneNumber, RAS_MaxPhoneNumber, "phone number");
    if (key == "device")
        return text(e.device, RAS_MaxDeviceName, "device name");
    if (key == "devicetype")
        return text(e.deviceType, RAS_MaxDeviceType, "device type");
    if (key == "outcome") {
        std::vector<Attempt> list;
        if (!parseOutcomes(value, list, why))
            return false;
        e.outcomes = std::move(list);
        return true;
    }
    if (key == "stepms") {
        int ms = 0;
        if (!parseNumber(value, ms) || ms < 0 || ms > 3600000) {
            why = "StepMs needs a whole number of milliseconds from 0 to 3600000";
            return false;
        }
        e.stepMs = ms;
        return true;
    }
    if (key == "dropafterseconds") {
        double s = 0;
        if (!parseNumber(value, s) || !std::isfinite(s) || s < 0 || s > 31536000) {
            why = "DropAfterSeconds needs a number of seconds (decimals allowed), 0 for never";
            return false;
        }
        e.dropAfterSeconds = s;
        return true;
    }
    // A hand-made phonebook may carry other settings of an entry; they mean
    // nothing to the simulation.
    return true;
}

} // namespace

std::string foldName(std::string_view name)
{
    bool ascii = true;
    for (unsigned char c : name)
        ascii = ascii && c < 0x80;
    if (ascii)
        return lower(name);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded().toStdString();
}

const Entry* Phonebook::find(std::string_view name) const
{
    const auto it = index.find(foldName(name));
    return it == index.end() ? nullptr : &entries[it->second];
}

Phonebook parsePhonebook(std::string_view text)
{
    Phonebook book;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    Entry* current = nullptr;
    bool skipping = false; // inside a section that was rejected
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        const std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        const std::string_view line = trim(raw);
        const auto problem = [&](std::string message) {
            book.problems.push_back({lineNo, std::move(message)});
        };
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.find('\0') != std::string_view::npos) {
            problem("line holds a NUL byte; line skipped");
            continue;
        }
        if (line.front() == '[') {
            current = nullptr;
            skipping = true;
            if (line.back() != ']') {
                problem("entry header without its closing ']'; entry skipped");
                continue;
            }
            const std::string_view name = trim(line.substr(1, line.size() - 2));
            if (name.empty()) {
                problem("entry without a name; entry skipped");
            } else if (name.size() > RAS_MaxEntryName) {
                problem("entry name longer than " + std::to_string(RAS_MaxEntryName) +
                        " bytes; entry skipped");
            } else if (const auto [at, added] = book.index.emplace(foldName(name), book.entries.size());
                       !added) {
                problem("entry \"" + std::string(name) + "\" is already defined above; entry skipped");
            } else {
                book.entries.push_back(Entry{});
                current = &book.entries.back();
                current->name = std::string(name);
                skipping = false;
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            problem("expected KEY=VALUE or [Entry name]; line skipped");
            continue;
        }
        if (skipping)
            continue;
        if (!current) {
            problem("setting outside an entry; line skipped");
            continue;
        }
        const std::string key = lower(trim(line.substr(0, eq)));
        if (key.empty()) {
            problem("setting without a name; line skipped");
            continue;
        }
        std::string why;
        if (!applyKey(*current, key, trim(line.substr(eq + 1)), why))
            problem(why + "; line skipped");
    }
    return book;
}

std::vector<Step> script(const Entry& entry, const Attempt& attempt)
{
    struct Failure {
        DWORD state;
        DWORD error;
    };
    const Failure f = [&]() -> Failure {
        switch (attempt.outcome) {
        case Outcome::Busy:
            return {RASCS_ConnectDevice, ERROR_LINE_BUSY};
        case Outcome::NoAnswer:
            return {RASCS_ConnectDevice, ERROR_NO_ANSWER};
        case Outcome::NoDialTone:
            return {RASCS_ConnectDevice, ERROR_NO_DIALTONE};
        case Outcome::BadPassword:
            return {RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE};
        case Outcome::Fail:
            return {failureState(attempt.code), attempt.code};
        case Outcome::Connect:
            break;
        }
        return {0, 0};
    }();
    std::vector<Step> steps;
    // The ladder up to the failing step, or all of it.
    for (DWORD state : kDialLadder) {
        steps.push_back({state, 0, steps.empty() ? 0 : entry.stepMs});
        if (f.error && state == f.state) {
            // The step is announced, then fails when its time is up.
            steps.push_back({state, f.error, entry.stepMs});
            return steps;
        }
    }
    if (entry.dropAfterSeconds > 0) {
        const double ms = std::min(entry.dropAfterSeconds * 1000.0, 2147483647.0);
        steps.push_back({RASCS_Disconnected, ERROR_REMOTE_DISCONNECTION, static_cast<int>(std::llround(ms))});
    }
    return steps;
}

} // namespace kivo::ras::sim
