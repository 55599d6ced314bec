#pragma once

#include <cstdint>
#include <string>

#include "pages/page_host.h"
#include "app/page_tab_ctrl.h"
#include "host/progress.h"
#include "controls/control.h"
#include "model/qor_doc.h"
#include "pages/email_page.h"
#include "pages/ip_addr_page.h"
#include "pages/reset_page.h"
#include "pages/routing_page.h"
#include "pages/utility_settings_page.h"
#include "pages/web_config_page.h"
#include "pages/web_data_desc_page.h"

class UiHost;

// The utility's single window: the document, the tab control with the seven pages, the command
// buttons, the status field, the progress window and the link settings. Everything it decides
// is here; the GUI only shows these models and forwards the user's actions.
//
// Contract with the pages: a page's constructor builds its controls and may read and set
// Link() (the link settings exist before any page), but must not call anything else of the
// host, because the pages after it do not exist yet. Start() then runs LoadDefaults on every
// page in tab order, which is the pages' creation step.
//
// The page-wide operations reach the pages through Tabs().Page(i), so the object behind a tab
// is the one they act on.
class CUtilityDlg : public CPageHost {
  public:
    enum PageIndex {
        kIpAddrPage = 0,
        kRoutingPage = 1,
        kEmailPage = 2,
        kResetPage = 3,
        kUtilitySettingsPage = 4,
        kWebConfigPage = 5,
        kWebDataDescPage = 6,
        kPageCount = 7
    };

    // Value-source texts and the other words of the status field.
    static constexpr const char* kDefaultValues = "Default Values";
    static constexpr const char* kDeviceValues = "Device Values";
    static constexpr const char* kFileValues = "File Values";
    static constexpr const char* kModified = "Modified";
    static constexpr const char* kOffline = "Offline";

    static constexpr const char* kWindowTitle = "QOR / QORW Utility";
    static constexpr const char* kAboutTitle = "About QOR / QORW Utility";
    static constexpr const char* kAboutMenuEntry = "&About QOR / QORW Utility...";
    static constexpr const char* kAboutVersion = "QOR / QORW Utility 3.01";
    static constexpr const char* kAboutDate = "Release Date:  08/17/2005";
    static constexpr const char* kHelpTopic = "qorwutil.chm::/Overview.htm";
    static constexpr const char* kHelpUnavailable =
        "The help page could not be opened.\nNo viewer for it was found.";

    static constexpr const char* kCloseQuestion =
        "The tool contains information that has not been saved to file or the device.\n"
        "Data Loss will occur.\n\nDo you really want to proceed?";

    static constexpr const char* kDcfFilter = "Device Config (*.dcf) |*.dcf|All Files (*.*)|*.*||";
    static constexpr const char* kDcfExt = "dcf";
    static constexpr const char* kTextFilter = "Text File (*.txt) |*.txt|All Files (*.*)|*.*||";
    static constexpr const char* kTextExt = "txt";

    static constexpr const char* kTabTexts[kPageCount] = {
        "QOR IP Addr",      "Message Routing", "Email",        "Reset",
        "Utility Settings", "Web Config",      "Web Data Desc"};

    explicit CUtilityDlg(UiHost& ui);
    ~CUtilityDlg() override;
    CUtilityDlg(const CUtilityDlg&) = delete;
    CUtilityDlg& operator=(const CUtilityDlg&) = delete;

    // The start-up steps once the window exists: defaults loaded and stored, offline,
    // "Default Values", the PC baud rate taken from the Utility settings page, commands on.
    void Start();

    // --- what the window holds
    QorDoc& Doc() { return doc_; }
    CPageTabCtrl& Tabs() { return tabs_; }
    CConfigPage& Page(int index) { return tabs_.Page(index); }
    CIpAddrPage& IpAddrPage() { return ipAddrPage_; }
    CRoutingPage& RoutingPage() { return routingPage_; }
    CEmailPage& EmailPage() { return emailPage_; }
    CResetPage& ResetPage() { return resetPage_; }
    CUtilitySettingsPage& UtilitySettingsPage() { return utilitySettingsPage_; }
    CWebConfigPage& WebConfigPage() { return webConfigPage_; }
    CWebDataDescPage& WebDataDescPage() { return webDataDescPage_; }
    CProgressWnd& Progress() { return progress_; }

    CEdit& StatusField() { return status_; }
    CButton& FileLoadButton() { return fileLoad_; }
    CButton& QorButton() { return qor_; }
    CButton& DefaultsButton() { return defaults_; }
    CButton& TextLoadButton() { return textLoad_; }
    CButton& FileSaveButton() { return fileSave_; }
    CButton& RamButton() { return ram_; }
    CButton& RomButton() { return rom_; }
    CButton& TextSaveButton() { return textSave_; }
    CButton& HelpButton() { return help_; }

    const std::string& ValueSource() const { return valueSource_; }
    // Sets the value-source text and shows it.
    void SetValueSource(const std::string& text);
    void ShowStatus(const std::string& text) { status_.SetText(text); }

    // The main window as a whole (the toolkit's EnableWindow); the view follows its state.
    void EnableWindow(bool on) { window_.Enable(on); }
    bool IsWindowEnabled() const { return window_.IsEnabled(); }
    CControl& Window() { return window_; }
    // A device operation runs: the window must not close and no command may start.
    bool IsBusy() const { return busy_ > 0; }

    // --- CPageHost
    UiHost& Ui() override { return ui_; }
    LinkSettings& Link() override { return link_; }
    int32_t& DcfVersion() override { return dcfVersion_; }
    int32_t& TextVersion() override { return textVersion_; }
    void RefreshStatus() override;
    void RequestReset(int kind) override;
    void SeriesSelected(int series) override;
    void StoreAllPages() override;
    void GoOffline(bool notify) override;

    // --- page-wide operations
    void SetCommandsEnabled(bool on);
    void ApplyTabRules(int index);
    // The pages check their values in tab order; the first that refuses comes to the front.
    bool ValidatePages();
    // The user asked for tab index by click or keyboard.
    void SelectPage(int index);
    // Ends an edit still open on any page as Enter would; false when its text is refused (the
    // edit stays open with that page in front, and the command must not run).
    bool EndOpenEdits();
    // The window's close request; true when it may close (the link is then down).
    bool RequestClose();

    // --- commands
    void OnFileLoad();
    void OnQor();
    void OnDefaults();
    void OnTextLoad();
    // "Text..." on configuration text held in memory instead of a chosen file: the same
    // reading, checks, messages and status.
    void OnTextLoad(const std::string& text);
    void OnFileSave();
    void OnRam();
    void OnRom();
    void OnTextSave();
    void OnHelp();

    // --- device operations (device_operations.cpp); each returns a link result code, 0 = done
    int UploadFromDevice(bool all);
    int DownloadToDevice();
    int ResetDevice(int kind);
    // Goes offline, tells the pages, restores the PC baud rate and shows the code's text.
    void ShowLinkError(int code);

    // --- file procedures (file_commands.cpp). Each reports its own failures with a message
    // box. They read or write the pages only; what the command does afterwards (storing into
    // the document, the link, the status field) is the command's, here in utility_dlg.cpp.
    bool LoadDcfFile(const std::string& name);
    bool SaveDcfFile(const std::string& name);
    enum class TextLoadResult {
        Loaded,        // every page read its sections
        ContentError,  // a reading step threw ZUVException; contentError holds its message,
                       // which the command shows after restoring the defaults
        Failed         // no name, no file, read failure or out of memory: already reported
    };
    TextLoadResult LoadTextFile(const std::string& name, std::string& contentError);
    TextLoadResult LoadTextFromMemory(const std::string& text, std::string& contentError);
    bool SaveTextFile(const std::string& name);
    // What SaveTextFile writes, kept in memory.
    std::string ConfigurationText();

  private:
    // Marks a device operation running for as long as it lives.
    class BusyScope {
      public:
        explicit BusyScope(CUtilityDlg& dlg) : dlg_(dlg) { ++dlg_.busy_; }
        ~BusyScope() { --dlg_.busy_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        CUtilityDlg& dlg_;
    };

    bool AnyPageDiffers();
    // What "Text..." does once the pages have read a text.
    void FinishTextLoad(TextLoadResult result, const std::string& contentError);

    UiHost& ui_;
    LinkSettings link_;
    int32_t dcfVersion_ = 0;
    int32_t textVersion_ = 0;
    QorDoc doc_;
    CProgressWnd progress_;
    std::string valueSource_;
    int busy_ = 0;

    CControl window_;
    CEdit status_;
    CButton fileLoad_{"File &Load"};
    CButton qor_{"&QOR"};
    CButton defaults_{"&Defaults"};
    CButton textLoad_{"&Text..."};
    CButton fileSave_{"File &Save"};
    CButton ram_{"QOR R&AM"};
    CButton rom_{"QOR R&OM"};
    CButton textSave_{"Te&xt..."};
    CButton help_{"&Help"};

    // Built in tab order, after the link settings they may read.
    CIpAddrPage ipAddrPage_;
    CRoutingPage routingPage_;
    CEmailPage emailPage_;
    CResetPage resetPage_;
    CUtilitySettingsPage utilitySettingsPage_;
    CWebConfigPage webConfigPage_;
    CWebDataDescPage webDataDescPage_;
    CPageTabCtrl tabs_;
};
