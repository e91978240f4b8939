#pragma once
// Answers the agent's modal dialogs and message boxes for a test, through the one dialog seam,
// so none blocks in exec(). Dialogs are answered by type; one without an answer is left open,
// which cancels it. Message boxes show for real until OnMessageBox gives them an answer. Both
// hooks are taken back when the object goes.
#include "ui/dialogs/DialogSupport.h"

#include <QDialog>
#include <functional>
#include <map>
#include <type_traits>

class CDialogAnswers {
public:
    CDialogAnswers()
    {
        g_modalDialogHook = [this](QDialog& d) { Answer(d); };
    }
    ~CDialogAnswers()
    {
        g_modalDialogHook = nullptr;
        g_messageBoxHook = nullptr;
    }
    CDialogAnswers(const CDialogAnswers&) = delete;
    CDialogAnswers& operator=(const CDialogAnswers&) = delete;

    // From now on each dialog of type D gets `answer`; null takes it back.
    template <class D>
    void On(std::type_identity_t<std::function<void(D&)>> answer)
    {
        if (answer)
            m_answers[&D::staticMetaObject] = [answer](QDialog& d) { answer(static_cast<D&>(d)); };
        else
            m_answers.erase(&D::staticMetaObject);
    }
    void OnMessageBox(std::function<void(const QString& text, const QString& caption)> answer)
    {
        g_messageBoxHook = std::move(answer);
    }

private:
    void Answer(QDialog& d)
    {
        for (const QMetaObject* m = d.metaObject(); m; m = m->superClass()) {
            auto it = m_answers.find(m);
            if (it != m_answers.end()) {
                const auto answer = it->second;  // a copy: it may set the next answer
                answer(d);
                return;
            }
        }
    }

    std::map<const QMetaObject*, std::function<void(QDialog&)>> m_answers;
};
