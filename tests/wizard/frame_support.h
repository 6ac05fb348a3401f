// SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Shared set-up of the wizard window tests: a key store and a working
// directory of their own, and message boxes and beeps answered and recorded.
#pragma once

#include "components/RegFiles.h"
#include "platform/registry/registry.h"
#include "platform/system/system.h"
#include "tests/support/testsupport.h"
#include "ui_Select.h"
#include "wizard/Select.h"
#include "wizard/Stats.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivo::test
{

inline constexpr const char* kAppKey = kivo::reg::AppKey;

// The lefts of the about, Back, Next and Close buttons.
struct Lefts {
    int about, prev, next, close;
    bool operator==(const Lefts&) const = default;
};

inline Lefts leftsOf(const TfrmSelect& f)
{
    return {f.ui->rdbAbout->x(), f.ui->btnPrev->x(), f.ui->btnNext->x(), f.ui->btnClose->x()};
}

class WizardTest : public ::testing::Test
{
  protected:
    TempRegistry registry;
    TempDir cwd;
    QString previousCwd = QDir::currentPath();
    std::vector<sys::MessageBoxRequest> boxes;
    std::vector<UINT> beeps;
    INT boxAnswer = IDOK;

    void SetUp() override
    {
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(cwd.path())));
        sys::setMessageBoxHook([this](const sys::MessageBoxRequest& r) {
            boxes.push_back(r);
            return boxAnswer;
        });
        sys::setBeepHook([this](UINT t) { beeps.push_back(t); });
    }

    void TearDown() override
    {
        form.reset();
        sys::setMessageBoxHook(nullptr);
        sys::setBeepHook(nullptr);
        QDir::setCurrent(previousCwd);
    }

    // Settings as the wizard keeps them.
    void writeSetting(const std::string& name, const Variant& value)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kAppKey);
        reg.WriteValue(name, value);
    }
    Variant readSetting(const std::string& name)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kAppKey);
        return reg.ReadValue(name);
    }
    bool settingExists(const std::string& name)
    {
        TRegFile reg;
        reg.setRootKey(hkLocalMachine);
        reg.setKey(kAppKey);
        return reg.ValueExists("", name);
    }

    // An installed wizard: the installation file was read on an earlier run.
    void installed(int showWelcome = 1)
    {
        writeSetting("PDTCaption", Variant("Post-Dial Terminal Screen"));
        writeSetting("Tune", Variant(""));
        writeSetting("ShowWelcome", Variant(std::int32_t(showWelcome)));
    }

    // Creates the window and runs its creation handler as the program does.
    TfrmSelect& create(const std::string& installer = "")
    {
        form = std::make_unique<TfrmSelect>();
        frmSelect = form.get();
        if (!installer.empty())
            form->InstallerPath = installer;
        form->FormCreate(form.get());
        return *form;
    }

    std::unique_ptr<TfrmSelect> form;
};

} // namespace kivo::test
