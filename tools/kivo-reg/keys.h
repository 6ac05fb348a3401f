// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Key names as users write them, and the few tree operations kivo-reg needs
// on top of the registry calls.
#pragma once

#include "platform/registry/registry.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::reg
{

// A key written with its root: "HKEY_LOCAL_MACHINE\Software\X" or "HKLM\Software\X".
struct KeyPath {
    HKEY root = nullptr;
    std::string sub; // below the root, no leading or trailing separator; empty: the root

    // The name with the root written out in full, as .reg files and query show it.
    std::string fullName() const;
};

// Nullopt when the text does not start with a known root or the rest is not a
// key path (a separator right after the root's own).
std::optional<KeyPath> parseKeyPath(std::string_view text);

const char* rootName(HKEY root);

// A registry call that failed. Its text says what the store ran into and
// where, when the failure was the store's own (kivo::registry::LastStoreProblem),
// else what the code means.
class CallError : public std::runtime_error
{
  public:
    explicit CallError(LONG code);
    LONG code() const { return m_code; }

  private:
    LONG m_code;
};

// Throws CallError for a non-zero result.
void check(LONG rc);

// An open key, closed when it goes.
class Key
{
  public:
    static Key open(const KeyPath& path);   // throws CallError
    static Key create(const KeyPath& path); // throws CallError
    static Key adopt(HKEY h);               // a handle opened elsewhere
    ~Key();
    Key(Key&& other) noexcept : m_h(other.m_h) { other.m_h = nullptr; }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY handle() const { return m_h; }

  private:
    explicit Key(HKEY h) : m_h(h) {}
    HKEY m_h;
};

struct Value {
    std::string name; // empty: the default value
    DWORD type = REG_NONE;
    std::string data; // exact bytes
};

std::vector<std::string> subkeyNames(HKEY key);
std::vector<Value> values(HKEY key);
// Nullopt when the key has no such value.
std::optional<Value> value(HKEY key, const std::string& name);

// The path with each part spelt as stored (parts differing from the stored
// name only in the case of ASCII letters), separators tidied.
KeyPath storedSpelling(const KeyPath& path);

// Deletes a key with everything below it, deepest keys first.
void deleteTree(const KeyPath& path);

// Visits a key and everything below it, each key before its subkeys, with
// its path and an open handle. Each key is opened from its parent's handle,
// so the walk costs the same per key at any depth.
void walkTree(const KeyPath& path, const std::function<void(const KeyPath&, HKEY)>& visit);

// Runs work as one transaction on the store: every change it makes takes
// effect, or none does (CallError). A read transaction sees one state of the
// store throughout.
void inOneTransaction(bool write, const std::function<void()>& work);

// Makes the changes made so far durable (throws CallError).
void flushStore();

// A sentence for a result code, for messages to users.
std::string describe(LONG code);

} // namespace kivo::reg
