// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "tools/kivo-reg/keys.h"

#include <cctype>

namespace kivo::reg
{

namespace
{

struct RootName {
    HKEY root;
    const char* full;
    const char* abbrev;
};

const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},   {HKEY_USERS, "HKEY_USERS", "HKU"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"}, {HKEY_DYN_DATA, "HKEY_DYN_DATA", "HKDD"},
};

bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::optional<KeyPath> parseKeyPath(std::string_view text)
{
    const std::size_t sep = text.find('\\');
    const std::string_view root = text.substr(0, sep);
    std::string_view sub = sep == std::string_view::npos ? std::string_view() : text.substr(sep + 1);
    while (!sub.empty() && sub.back() == '\\')
        sub.remove_suffix(1);
    if (!sub.empty() && sub.front() == '\\')
        return std::nullopt;
    for (const RootName& r : kRootNames)
        if (sameText(root, r.full) || sameText(root, r.abbrev))
            return KeyPath{r.root, std::string(sub)};
    return std::nullopt;
}

const char* rootName(HKEY root)
{
    for (const RootName& r : kRootNames)
        if (r.root == root)
            return r.full;
    return "";
}

std::string KeyPath::fullName() const
{
    return sub.empty() ? std::string(rootName(root)) : std::string(rootName(root)) + "\\" + sub;
}

namespace
{

std::string callErrorText(LONG code)
{
    std::string text = kivo::registry::LastStoreProblem();
    if (text.empty())
        return describe(code);
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + ".";
}

} // namespace

CallError::CallError(LONG code) : std::runtime_error(callErrorText(code)), m_code(code)
{
}

void check(LONG rc)
{
    if (rc != ERROR_SUCCESS)
        throw CallError(rc);
}

Key Key::open(const KeyPath& path)
{
    HKEY h = nullptr;
    check(RegOpenKeyExA(path.root, path.sub.c_str(), 0, KEY_ALL_ACCESS, &h));
    return Key(h);
}

Key Key::adopt(HKEY h)
{
    return Key(h);
}

Key Key::create(const KeyPath& path)
{
    HKEY h = nullptr;
    check(RegCreateKeyExA(path.root, path.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &h, nullptr));
    return Key(h);
}

Key::~Key()
{
    if (m_h)
        RegCloseKey(m_h);
}

std::vector<std::string> subkeyNames(HKEY key)
{
    std::vector<std::string> names;
    std::string buf(256, '\0');
    for (DWORD i = 0;;) {
        auto n = static_cast<DWORD>(buf.size());
        const LONG rc = RegEnumKeyExA(key, i, buf.data(), &n, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return names;
        if (rc == ERROR_MORE_DATA) {
            buf.resize(buf.size() * 2);
            continue;
        }
        check(rc);
        names.emplace_back(buf.data(), n);
        ++i;
    }
}

std::vector<Value> values(HKEY key)
{
    std::vector<Value> out;
    std::string name(256, '\0');
    std::string data(256, '\0');
    for (DWORD i = 0;;) {
        auto n = static_cast<DWORD>(name.size());
        auto size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, i, name.data(), &n, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            return out;
        if (rc == ERROR_MORE_DATA) {
            // A data size above the buffer's says the data did not fit, else the name.
            if (size > data.size())
                data.resize(size);
            else
                name.resize(name.size() * 2);
            continue;
        }
        check(rc);
        out.push_back(Value{std::string(name.data(), n), type, data.substr(0, size)});
        ++i;
    }
}

std::optional<Value> value(HKEY key, const std::string& name)
{
    DWORD type = 0, size = 0;
    for (;;) {
        LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        check(rc);
        std::string data(size, '\0');
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc == ERROR_MORE_DATA)
            continue; // it grew in between
        if (rc == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        check(rc);
        data.resize(size);
        Value v{name, type, data};
        for (const Value& other : values(key))
            if (sameText(other.name, name))
                v.name = other.name; // as stored
        return v;
    }
}

KeyPath storedSpelling(const KeyPath& path)
{
    KeyPath out{path.root, {}};
    std::size_t start = 0;
    while (start < path.sub.size()) {
        std::size_t end = path.sub.find('\\', start);
        if (end == std::string::npos)
            end = path.sub.size();
        std::string part = path.sub.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        Key parent = Key::open(out);
        for (const std::string& name : subkeyNames(parent.handle()))
            if (sameText(name, part))
                part = name;
        out.sub += (out.sub.empty() ? "" : "\\") + part;
    }
    return out;
}

namespace
{

// A key being walked: its path, its handle, the names of its subkeys and
// how many of them have been visited.
struct Level {
    KeyPath path;
    Key key;
    std::vector<std::string> children;
    std::size_t next = 0;
};

KeyPath childPath(const KeyPath& parent, const std::string& name)
{
    return KeyPath{parent.root, parent.sub.empty() ? name : parent.sub + "\\" + name};
}

Key openChild(HKEY parent, const std::string& name)
{
    HKEY h = nullptr;
    check(RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &h));
    return Key::adopt(h);
}

} // namespace

void walkTree(const KeyPath& path, const std::function<void(const KeyPath&, HKEY)>& visit)
{
    // An explicit stack: a key store may hold keys deeper than a thread's stack.
    std::vector<Level> stack;
    stack.push_back(Level{path, Key::open(path), {}});
    visit(path, stack.back().key.handle());
    stack.back().children = subkeyNames(stack.back().key.handle());
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.children.size()) {
            stack.pop_back();
            continue;
        }
        const std::string& name = top.children[top.next++];
        Level child{childPath(top.path, name), openChild(top.key.handle(), name), {}};
        visit(child.path, child.key.handle());
        child.children = subkeyNames(child.key.handle());
        stack.push_back(std::move(child));
    }
}

void deleteTree(const KeyPath& path)
{
    // Deepest keys first, each deleted through its parent's handle.
    std::vector<Level> stack;
    stack.push_back(Level{path, Key::open(path), {}});
    stack.back().children = subkeyNames(stack.back().key.handle());
    while (stack.size() > 1 || stack.back().next < stack.back().children.size()) {
        Level& top = stack.back();
        if (top.next < top.children.size()) {
            const std::string& name = top.children[top.next++];
            Level child{childPath(top.path, name), openChild(top.key.handle(), name), {}};
            child.children = subkeyNames(child.key.handle());
            stack.push_back(std::move(child));
            continue;
        }
        // All below this key are gone: delete it from its parent.
        stack.pop_back();
        Level& parent = stack.back();
        check(RegDeleteKeyA(parent.key.handle(), parent.children[parent.next - 1].c_str()));
    }
    stack.clear();
    check(RegDeleteKeyA(path.root, path.sub.c_str()));
}

void inOneTransaction(bool write, const std::function<void()>& work)
{
    kivo::registry::Transaction tx(write ? kivo::registry::Transaction::Write
                                         : kivo::registry::Transaction::Read);
    check(tx.status());
    work();
    check(tx.commit());
}

void flushStore()
{
    check(RegFlushKey(HKEY_LOCAL_MACHINE));
}

std::string describe(LONG code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_BAD_PATHNAME:
        return "Invalid key name.";
    case ERROR_CANTOPEN:
        return "The key store could not be opened (see KIVO95_REGISTRY).";
    case ERROR_REGISTRY_CORRUPT:
        return "The key store is damaged.";
    case ERROR_BADDB:
        return "The file is not a key store of this version of KIVO95.";
    case ERROR_CANTWRITE:
        return "The key store cannot be changed.";
    case ERROR_REGISTRY_IO_FAILED:
        return "Reading or writing the key store failed.";
    case ERROR_BADKEY:
        return "A key can be at most 512 levels below its root.";
    case ERROR_BUSY:
        return "The key store is busy; try again.";
    case ERROR_KEY_DELETED:
        return "The key was deleted by another program.";
    default:
        return "The key store failed with error " + std::to_string(code) + ".";
    }
}

} // namespace kivo::reg
