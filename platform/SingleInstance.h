#pragma once
#include <QString>
#include <memory>

class QLockFile;

// A named lock private to the user that lives exactly as long as the process holding it.
class CSingleInstance {
public:
    explicit CSingleInstance(const QString& name);
    ~CSingleInstance();
    // True when this process is the first instance. A lock left by a dead process is taken over.
    bool Acquire();
    QString LockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
