#pragma once
#include "core/settings/Endpoints.h"
#include "core/settings/Settings.h"
#include "platform/FileSystem.h"
#include "platform/Internet.h"
#include "support/EmulatorSuite.h"
#include "support/wav_util.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <functional>
#include <thread>

// Shared by the cycle tests: a bounded wait and record helpers.

// True once `done` holds, false after `ms` milliseconds.
inline bool WaitFor(const std::function<bool()>& done, int ms = 30000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Author ab12 in passive mode, one source folder of "wav" files, automatic download on.
inline CSettings CycleSettings(const std::string& src, const std::string& down)
{
    CSettings s;
    s.Author = "ab12";
    s.Password = "secret";
    s.PASV = 1;
    s.Dir[0] = src;
    s.Ext[0] = "wav";
    s.TDir = down;
    s.AutoDownLoad = 1;
    return s;
}

inline std::vector<QJsonObject> Objects(const QJsonArray& a)
{
    std::vector<QJsonObject> out;
    for (const auto& v : a) out.push_back(v.toObject());
    return out;
}
