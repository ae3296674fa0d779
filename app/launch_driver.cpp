// The launch driver: one run from the command line to the browser, and the
// timer that starts it once the window is visible.

#include "app/OrvinLauncherDlg.h"
#include "editor/cart_handoff.h"
#include "editor/edit_result.h"
#include "editor/module_host.h"
#include "launch/launch_arguments.h"
#include "support/logger.h"
#include "support/pinned_limits.h"
#include "support/publisher_trust.h"
#include "update/module_installer.h"

std::wstring COrvinLauncherDlg::GetLaunchCommandLine() const {
    const wchar_t* line = ::GetCommandLineW();
    return line ? line : L"";
}

void COrvinLauncherDlg::ShowNotice() {
    MessageBox(L"사이트에서 상품을 주문하실수 있습니다.", L"", MB_OK | MB_ICONEXCLAMATION);
}

bool COrvinLauncherDlg::RunLaunch(bool bPrepareOnly) {
    // Nothing may escape the run: the dialog would stay up, topmost, with its
    // timer gone and no way to end.
    try {
        return RunLaunchSteps(bPrepareOnly);
    } catch (...) {
        Logger::Instance()->Write(L"*오류 : 실행 중 예외가 발생했습니다.");
        return false;
    }
}

bool COrvinLauncherDlg::RunLaunchSteps(bool bPrepareOnly) {
    std::wstring commandLine = GetLaunchCommandLine();
    if (commandLine.empty()) {
        Logger::Instance()->Write(L"*오류 : 실행에 관련된 정보가 정상적으로 설정되어있지 않습니다.");
        ShowNotice();
        return false;
    }
    if (commandLine.back() == L'"') commandLine.pop_back();

    size_t separator = commandLine.find(L"://");
    if (separator == std::wstring::npos || separator + 3 >= commandLine.size()) {
        Logger::Instance()->Write(L"*오류 : 프로토콜 문자열을 찾지 못했습니다.");
        ShowNotice();
        return false;
    }
    const std::wstring arguments = commandLine.substr(separator + 3);

    if (m_strKey.empty() && !PrepareLaunch(m_strKey, arguments, m_startup)) {
        Logger::Instance()->Write(L"*오류 : 명령 인수값이 올바르지 않습니다. (%s)", arguments.c_str());
        return false;
    }
    if (bPrepareOnly) return true;

    // The update's two addresses are checked before the first request to
    // either, and its folder before anything in it is made or removed.
    if (!CheckUrlOrigin(m_startup.update_url) || !CheckUrlOrigin(m_startup.update_files_url) ||
        !CheckInstallFolder(m_startup.install_path) || !InstallModule(*this, m_startup, m_strModuleName)) {
        Logger::Instance()->Write(L"*오류 : 모듈 업데이트에 실패 했습니다.");
        return false;
    }

    std::wstring editResult;
    if (!RunEditorModule(*this, m_startup, m_strModuleName, editResult)) return false;

    std::wstring browserUrl;
    std::wstring cartUrl;
    if (!ProcessEditResult(arguments, m_startup, editResult, browserUrl, cartUrl)) {
        Logger::Instance()->Write(L"*오류 : 편집 결과 처리에 실패 했습니다.");
        return false;
    }

    // A refused address skips its step only; an empty one is no step at all.
    if (cartUrl.empty() || CheckUrlOrigin(cartUrl)) SendCartKey(cartUrl, *this);
    if (browserUrl.empty() || CheckUrlOrigin(browserUrl)) {
        OpenReturnPage(m_startup.agent, browserUrl, m_startup.agent_type);
    }
    return true;
}

void COrvinLauncherDlg::OnShowWindow(BOOL show) {
    if (!show || m_bRunInProgress) return;
    KillTimer(IDT_LAUNCH);
    SetTimer(IDT_LAUNCH, kLaunchTimerPeriod);
}

void COrvinLauncherDlg::OnTimer(UINT_PTR id) {
    if (id != IDT_LAUNCH || m_bRunInProgress || !IsWindowVisible()) return;
    KillTimer(IDT_LAUNCH);
    m_bRunInProgress = true;
    const bool succeeded = RunLaunch(false);
    m_bRunInProgress = false;
    if (succeeded) {
        CDialog::OnOK();
    } else {
        CDialog::OnCancel();
    }
}
