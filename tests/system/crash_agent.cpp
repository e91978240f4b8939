// The agent's engine as a process of its own, for the crash-safety test to kill: real cycles
// (libcurl, the file system, the log) back to back, with a recording display in place of the
// window. Runs CYCLES cycles, or until killed when CYCLES is 0.
//   crash_agent HTTP HTTPS FTPHOST TOPDIR CAFILE SOURCE DOWNLOAD LOG PASV CYCLES
#include "core/cycle/Automation.h"
#include "support/RecordingDisplay.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 11) {
        std::fprintf(stderr,
                     "usage: crash_agent HTTP HTTPS FTPHOST TOPDIR CAFILE SOURCE DOWNLOAD "
                     "LOG PASV CYCLES\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const CEndpoints endpoints{
        argv[1], argv[2], argv[1], argv[3], argv[4], "support@nimbrel.example", argv[5]};
    CSettings s;
    s.Dir[0] = argv[6];
    s.Ext[0] = "dss";
    s.TDir = argv[7];
    s.Author = "ab12";
    s.Password = "secret";
    s.PASV = std::atoi(argv[9]);
    s.PollTime = 1;
    s.AutoDownLoad = 1;
    CSettingsRecord record;
    record.Replace(s);
    const int cycles = std::atoi(argv[10]);
    {
        CRecordingDisplay display(argv[8]);
        std::unique_ptr<IInternet> internet = CreateInternet(argv[5]);
        CAutomation automation(display.Lines(), internet.get(), endpoints, record);
        automation.SetSettleTime(0);  // the test's files are written before it starts
        // The test times its kill from here: the start of the first cycle.
        std::puts("start");
        std::fflush(stdout);
        for (int n = 0; cycles == 0 || n < cycles; ++n) {
            automation.StartAutomation();
            while (automation.IsBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    curl_global_cleanup();
    return 0;
}
