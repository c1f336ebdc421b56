#pragma once
// A fresh registry and a clock the test sets, for the dialer's settings tests.

#include "dialer/service.h"
#include "platform/clock.h"
#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cstdio>
#include <filesystem>

class DialerStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::remove(storeFile().c_str());
        std::filesystem::remove_all(userdirs::autostartDir());
        SaveHandle(0);  // forget a handle an earlier test published
        setClock(2026, 3, 5, 10, 0, 0);
    }
    void TearDown() override { sysclock::setSource({}); }

    static std::string storeFile() { return userdirs::configDir() + "/registry.reg"; }
    static std::string store() { return testenv::readFile(storeFile()); }

    void setClock(int y, int m, int d, int hh, int mm, int ss)
    {
        const QDateTime at(QDate(y, m, d), QTime(hh, mm, ss));
        sysclock::setSource([at] { return at; });
    }
};
