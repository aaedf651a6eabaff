#include "ui/DialogState.h"

#include "text/CodePage.h"

namespace strivo {
namespace {

// The dialog's texts, in CP936.
struct Texts {
    std::string waiting = Utf8ToCp936("等待");
    std::string serviceSigningIn = Utf8ToCp936("正在登陆Nike+...");
    std::string serviceSignedIn = Utf8ToCp936("下载Nike+用户信息...");
    std::string serviceSignInFailed = Utf8ToCp936("登陆Nike+失败...");
    std::string downloadingRuns = Utf8ToCp936("下载Nike+跑步数据...");
    std::string runsDone = Utf8ToCp936("下载Nike+跑步数据成功结束...");
    std::string runsFailed = Utf8ToCp936("下载Nike+跑步数据失败...");
    std::string siteSigningIn = Utf8ToCp936("正在登陆 KelvoraStrivo...");
    std::string syncing = Utf8ToCp936("正在同步Nike+跑步数据到Strivo...");
    std::string siteSignInFailed = Utf8ToCp936("登陆Kelvora论坛失败...");
    std::string syncDone = Utf8ToCp936("同步到Strivo成功！");
    std::string postedNow = Utf8ToCp936("本次上传");
    std::string nothingNew = Utf8ToCp936("没有新的跑步数据");
    std::string postedBefore = Utf8ToCp936("，之前已上传");
    std::string runs = Utf8ToCp936("条");
    std::string withoutId = Utf8ToCp936("条没有RunID");
    std::string syncFailed = Utf8ToCp936("同步到Strivo失败：");
    std::string notPosted = Utf8ToCp936("条未上传");
    std::string unconfirmed = Utf8ToCp936("，其中");
    std::string inDoubt = Utf8ToCp936("条结果未知，请在网站上核对后在列表中标记");
    std::string settleFailed = Utf8ToCp936("标记失败");
    std::string comma = Utf8ToCp936("，");
    std::string storedRuns = Utf8ToCp936("本机保存的跑步记录 ");
    std::string lastDownloaded = Utf8ToCp936(" 条，最近一次下载于 ");
    std::string neverDownloaded = Utf8ToCp936(" 条");
    std::string storeReadFailed = Utf8ToCp936("无法读取本机保存的跑步记录");
    std::string exported = Utf8ToCp936("成功导出数据到 ");
    std::string exportFailed = Utf8ToCp936("导出数据失败，文件没有保存：");
    std::string noServiceUser = Utf8ToCp936("请输入Nike+登陆邮件地址或用户名。");
    std::string noServicePassword = Utf8ToCp936("请输入Nike+登陆密码。");
    std::string noSiteUser = Utf8ToCp936("请输入Kelvora论坛登陆用户名。");
    std::string noSitePassword = Utf8ToCp936("请输入Kelvora论坛登陆密码。");
    std::string nothingToExport = Utf8ToCp936("没有任何需要导出的数据！");
    std::string noBrowser = Utf8ToCp936("无法启动浏览器，请手动访问 ");
    std::string cannotStartThread = "Cannot Start New Thread";
    std::string badSettings = Utf8ToCp936("配置文件中有无法使用的设置，请修改后重新打开：");
    std::string notAPort = Utf8ToCp936("：不是端口号（1-65535）");
    std::string noSuchFile = Utf8ToCp936("：文件不存在");
    std::string caFileNotUsed = Utf8ToCp936(
        "：Windows 不使用 cafile，只信任 Windows 证书存储中的证书颁发机构；"
        "请把该机构导入证书存储，并删除这一行");
};

const Texts& Text() {
    static const Texts texts;
    return texts;
}

// Why a step failed, as the status line says it after the failure's text.
std::string ReasonText(const ProgressReport& report) {
    const char* reason = nullptr;
    switch (report.cause.failure) {
        case Failure::None:
            return {};
        case Failure::Refused:
            reason = "用户名或密码错误";
            break;
        case Failure::CannotConnect:
            reason = "无法连接服务器";
            break;
        case Failure::BadAddress:
            reason = "服务器地址无效";
            break;
        case Failure::TimedOut:
            reason = "连接超时";
            break;
        case Failure::Untrusted:
            reason = "服务器证书不可信";
            break;
        case Failure::WrongHost:
            reason = "服务器证书与地址不符";
            break;
        case Failure::Tls:
            reason = "无法建立安全连接";
            break;
        case Failure::ServerError:
            return Utf8ToCp936("（服务器错误 " + std::to_string(report.cause.status) + "）");
        case Failure::Redirects:
            reason = "服务器重定向出错";
            break;
        case Failure::ConnectionLost:
            reason = "连接中断";
            break;
        case Failure::TooLarge:
            reason = "服务器返回的数据过大";
            break;
        case Failure::BadAnswer:
            reason = "服务器返回的数据无法识别";
            break;
        case Failure::CertificateFile:
            reason = "无法读取证书文件";
            break;
        case Failure::Store:
            reason = "无法写入上传记录";
            break;
        case Failure::StoreInUse:
            reason = "另一个Strivo正在同步";
            break;
        case Failure::SessionEnded:
            reason = "论坛登录已失效";
            break;
        case Failure::Redirected:
            reason = "论坛返回了重定向";
            break;
        case Failure::Cancelled:
            reason = "已取消";
            break;
        case Failure::OutOfMemory:
            reason = "内存不足";
            break;
        case Failure::Other:
            reason = "网络错误";
            break;
    }
    return Utf8ToCp936(std::string("（") + reason + "）");
}

// "同步到Strivo成功！本次上传3条，之前已上传21条", "同步到Strivo失败：3/24条未上传，
// 其中1条结果未知，请在网站上核对后在列表中标记", with rows without a RunID counted after.
std::string SyncDoneText(const ProgressReport& report) {
    const Texts& text = Text();
    // Runs held back since an earlier sync and runs sent now without a whole
    // answer wait alike for the runner to settle them.
    const std::size_t inDoubt = report.heldIds.size() + report.unconfirmedIds.size();
    const std::string settle =
        inDoubt > 0 ? text.comma + std::to_string(inDoubt) + text.inDoubt : std::string();
    std::string status;
    if (Succeeded(report.outcome)) {
        status = text.syncDone;
        status += report.total > 0 ? text.postedNow + std::to_string(report.total) + text.runs
                                   : text.nothingNew;
        status += text.postedBefore + std::to_string(report.alreadyPosted) + text.runs + settle;
    } else {
        status = text.syncFailed + std::to_string(report.notPosted) + "/" +
                 std::to_string(report.total) + text.notPosted;
        // Only runs of this sync are among those not posted.
        status += report.heldIds.empty() && inDoubt > 0
                      ? text.unconfirmed + std::to_string(inDoubt) + text.inDoubt
                      : settle;
        status += ReasonText(report);
    }
    if (report.withoutId > 0) {
        status += text.comma + std::to_string(report.withoutId) + text.withoutId;
    }
    return status;
}

}  // namespace

DialogState::DialogState() {
    m_view.status = Text().waiting;
}

DialogUpdate DialogState::OnServiceLogin(std::string_view user, std::string_view password) {
    m_view.summary.clear();
    return AskForJob(JobKind::Download, user, password);
}

DialogUpdate DialogState::OnSync(std::string_view user, std::string_view password) {
    return AskForJob(JobKind::Sync, user, password);
}

DialogUpdate DialogState::AskForJob(JobKind kind, std::string_view user,
                                    std::string_view password) const {
    const bool service = kind == JobKind::Download;
    DialogUpdate update = Answer();
    // A text of blanks is not empty.
    if (user.empty()) {
        update.message = service ? Text().noServiceUser : Text().noSiteUser;
        update.focus = service ? DialogField::ServiceUser : DialogField::SiteUser;
    } else if (password.empty()) {
        update.message = service ? Text().noServicePassword : Text().noSitePassword;
        update.focus = service ? DialogField::ServicePassword : DialogField::SitePassword;
    } else {
        update.start = kind;
    }
    return update;
}

DialogUpdate DialogState::OnJobStarted(JobKind kind) {
    if (kind == JobKind::Download) {
        m_view.status = Text().serviceSigningIn;
        m_view.serviceSignInEnabled = false;
        m_view.refreshEnabled = false;
    } else if (kind == JobKind::Sync) {
        m_view.status = Text().siteSigningIn;
        m_view.syncEnabled = false;
    }
    return Answer();
}

const std::string& DialogState::CannotStartThreadMessage() {
    return Text().cannotStartThread;
}

std::string DialogState::SettleFailedMessage(Failure failure) {
    ProgressReport report;
    report.cause.failure = failure;
    return Text().settleFailed + ReasonText(report);
}

std::string DialogState::SettingsProblemsMessage(const std::vector<SettingsProblem>& problems,
                                                 std::string_view settingsFile) {
    // The file first, so that the runner knows which one to open.
    std::string message = Text().badSettings + "\n" + std::string(settingsFile);
    for (const SettingsProblem& problem : problems) {
        message +=
            "\n" + problem.key + "=" + problem.value +
            (problem.kind == SettingsProblem::Kind::NotAPort     ? Text().notAPort
             : problem.kind == SettingsProblem::Kind::NoSuchFile ? Text().noSuchFile
                                                                 : Text().caFileNotUsed);
    }
    return message;
}

DialogUpdate DialogState::OnReport(const ProgressReport& report) {
    const bool ok = Succeeded(report.outcome);
    switch (report.message) {
        case WM_SERVICE_LOGIN_DONE:
            if (ok) {
                m_view.status = Text().serviceSignedIn;
            } else {
                m_view.status = Text().serviceSignInFailed + ReasonText(report);
                m_view.serviceSignInEnabled = true;
            }
            break;
        case WM_SUMMARY_READY:
            // The credential fields stay as the user has them now; the worker
            // has emptied the table itself.
            m_view.summary = report.summary;
            m_view.status = Text().downloadingRuns;
            break;
        case WM_RUNS_DONE:
            if (ok) {
                m_view.status = Text().runsDone;
                m_view.syncEnabled = true;
            } else {
                m_view.status = Text().runsFailed + ReasonText(report);
                m_view.serviceSignInEnabled = true;
            }
            m_view.refreshEnabled = true;
            break;
        case WM_SITE_LOGIN_DONE:
            if (ok) {
                m_view.status = Text().syncing;
            } else {
                m_view.status = Text().siteSignInFailed + ReasonText(report);
                m_view.syncEnabled = true;
            }
            break;
        case WM_SYNC_PROGRESS:
            m_view.status = Text().syncing + " " + std::to_string(report.processed) + "/" +
                            std::to_string(report.total);
            break;
        case WM_SYNC_DONE:
            m_view.status = SyncDoneText(report);
            if (!ok) {
                m_view.syncEnabled = true;  // a retry posts only what is missing
            }
            break;
    }
    return Answer();
}

std::optional<std::string> DialogState::OnExportPressed(std::size_t rowCount) const {
    if (rowCount == 0) {
        return Text().nothingToExport;
    }
    return std::nullopt;
}

DialogUpdate DialogState::OnExportStarted() {
    m_view.exportEnabled = false;
    return Answer();
}

DialogUpdate DialogState::OnExportFinished(bool ok, std::string_view path) {
    m_view.exportEnabled = true;
    DialogUpdate update;
    if (ok) {
        m_view.status = Text().exported + std::string(path);
        update = Answer();
    } else {
        update = Answer();
        update.message = Text().exportFailed + std::string(path);
    }
    return update;
}

DialogUpdate DialogState::OnStoredRunsShown(std::size_t count, std::string_view downloaded) {
    m_view.summary = Text().storedRuns + std::to_string(count) +
                     (downloaded.empty() ? Text().neverDownloaded
                                         : Text().lastDownloaded + std::string(downloaded));
    m_view.syncEnabled = count > 0;
    return Answer();
}

std::string DialogState::StoreReadFailedMessage(Failure failure) {
    ProgressReport report;
    report.cause.failure = failure;
    return Text().storeReadFailed + ReasonText(report);
}

DialogUpdate DialogState::OnBrowserFailed(std::string_view url) {
    m_view.status = Text().noBrowser + std::string(url);
    return Answer();
}

}  // namespace strivo
