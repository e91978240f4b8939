#include "ui/dialogs/SourceDir.h"

#include "ui/Resources.h"
#include "core/service/ExtCheck.h"
#include "core/service/ServiceUrls.h"
#include "platform/ProfileStore.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/dialogs/WarnExt.h"

#include <QCheckBox>
#include <QLineEdit>
#include <charconv>

namespace {
constexpr int kPollTimeBox = 1024;

// A whole number between optional blanks, as the framework's integer exchange reads it.
bool ParseInt32(const std::string& text, int32_t* value)
{
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos)
        return false;
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    if (*first == '+' && first + 1 != last && first[1] != '-')
        ++first;  // from_chars takes no '+'; "+-1" must stay refused
    const auto [end, ec] = std::from_chars(first, last, *value);
    return ec == std::errc() && end == last && first != last;
}
}  // namespace

CSettings SourceDir::Fields() const
{
    CSettings s;
    s.Dir = m_strDir;
    s.Ext = m_strExt;
    s.TDir = m_strTDir;
    s.PASV = m_nPASV;
    s.Author = m_strAuthor;
    s.Password = m_strPassword;
    s.PollTime = m_nPollTime;
    s.ShowConfig = m_bShowConfig;
    s.AutoDownLoad = m_nAutoDownLoad;
    s.ArrivalNotices = m_bArrivalNotices;
    return s;
}

void SourceDir::SetFields(const CSettings& s)
{
    m_strDir = s.Dir;
    m_strExt = s.Ext;
    m_strTDir = s.TDir;
    m_nPASV = s.PASV;
    m_strAuthor = s.Author;
    m_strPassword = s.Password;
    m_nPollTime = s.PollTime;
    m_bShowConfig = s.ShowConfig != 0 ? 1 : 0;
    m_nAutoDownLoad = s.AutoDownLoad;
    m_bArrivalNotices = s.ArrivalNotices != 0 ? 1 : 0;
}

bool SourceDir::TakePollTime()
{
    QLineEdit* box = Edit(kPollTimeBox);
    int32_t value = 0;
    if (ParseInt32(box->text().toStdString(), &value)) {
        m_nPollTime = value;
        return true;
    }
    AgentMessageBox(QStringLiteral("Please enter an integer."), QString::fromLatin1(kAppTitle),
                    this);
    box->setFocus();
    box->selectAll();
    return false;
}

bool SourceDir::UpdateData(bool take)
{
    auto text = [&](int id, std::string& field) {
        if (take)
            field = Edit(id)->text().toStdString();
        else
            Edit(id)->setText(QString::fromStdString(field));
    };
    for (int row = 0; row < 5; ++row) text(kDirBoxIds[row], m_strDir[row]);
    for (int row = 0; row < 5; ++row) text(kExtensionBoxIds[row], m_strExt[row]);
    text(1021, m_strAuthor);
    if (take) {
        if (!TakePollTime())
            return false;  // the fields after it keep their values
    } else {
        Edit(kPollTimeBox)->setText(QString::number(m_nPollTime));
    }
    if (take) {
        m_bShowConfig = Check(1033)->isChecked() ? 1 : 0;
        m_bArrivalNotices = Check(kArrivalNoticesBox)->isChecked() ? 1 : 0;
    } else {
        Check(1033)->setChecked(m_bShowConfig != 0);
        Check(kArrivalNoticesBox)->setChecked(m_bArrivalNotices != 0);
    }
    text(1034, m_strPassword);
    for (int row = 5; row < kSourcePairs; ++row) text(kExtensionBoxIds[row], m_strExt[row]);
    for (int row = 5; row < kSourcePairs; ++row) text(kDirBoxIds[row], m_strDir[row]);
    text(1051, m_strTDir);
    return true;
}

void SourceDir::FetchValidExtensions()
{
    const std::string url = ValidExtensionsUrl(m_endpoints, true);
    const EFetchResult result = FetchExtensionList(m_internet, url, m_strValidExtensions);
    m_bListFetched = result == EFetchResult::Ok;
    if (result == EFetchResult::NoInternet)
        AgentMessageBox(QStringLiteral("Internet not avaiable !!!"),
                        QString::fromLatin1(kAppTitle));
}

bool SourceDir::CheckExtensions()
{
    // A polling time that is no number stops here, before the boxes are shown again: showing
    // them would put back the old values of every box after it.
    if (!UpdateData(true))
        return false;
    for (std::string& ext : m_strExt) ext = TrimLeadingSpace(ext);
    UpdateData(false);
    const int refused = FirstRefusedExtension(
        m_strExt, CValidList{m_strValidExtensions, m_bListFetched}, m_strSavedExt);
    if (refused < 0)
        return true;
    WarnExt warning(m_internet, m_endpoints, this);
    warning.DoModal();
    Edit(kExtensionBoxIds[refused])->setFocus();
    return false;
}

void SourceDir::OnOK()
{
    if (!CheckExtensions())
        return;
    if (!UpdateData(true))
        return;
    if (m_bFirstSave && !m_bShowConfigChosen)
        m_bShowConfig = 0;
    SaveSettings(m_profile, Fields());
    if (UpdateData(true))
        QDialog::done(IDOK);
}
