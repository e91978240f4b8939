#pragma once
#include <QString>
#include <memory>

class QLockFile;

// The folder of the lock and the control socket: the user's runtime folder ($XDG_RUNTIME_DIR),
// else one made here under the temporary folder, named after the user id. It is used only when
// it is a real folder owned by this user that no one else may enter; otherwise it is empty and
// *why says what is wrong and what to do. A folder another user made first is never used.
QString PrivateRuntimeFolder(QString* why = nullptr);

// A named lock private to the user that lives exactly as long as the process holding it.
class CSingleInstance {
public:
    explicit CSingleInstance(const QString& name);
    ~CSingleInstance();
    // True unless another live process holds the lock, or the runtime folder is refused
    // (Error() then says why). A lock left by a dead process is taken over; a lock that
    // cannot be created in a sound folder does not stop the start.
    bool Acquire();
    QString LockPath() const { return m_path; }
    // True while a live process (this one included) holds the lock; does not take it.
    bool IsHeld() const;
    // Why the runtime folder, or the lock's name in it (not a plain file), was refused; empty
    // when both are sound.
    const QString& Error() const { return m_error; }

private:
    QString m_path;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
};
