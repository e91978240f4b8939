#pragma once
#include <QString>
#include <memory>

class QLockFile;

// A named lock private to the user that lives exactly as long as the process holding it.
class CSingleInstance {
public:
    explicit CSingleInstance(const QString& name);
    ~CSingleInstance();
    // True unless another live process holds the lock. A lock left by a dead process is taken
    // over; a lock that cannot be created at all does not stop the start.
    bool Acquire();
    QString LockPath() const { return m_path; }
    // True while a live process (this one included) holds the lock; does not take it.
    bool IsHeld() const;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
