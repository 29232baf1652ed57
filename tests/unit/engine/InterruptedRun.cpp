// A run of the engine that ends from outside in the middle of a download:
//
//     interruptedrun <list url> <state file> <download folder> <download name> <event name>
//
// It fetches the list, reconciles it with the state file and downloads. Once the transfer
// into the named download has received data, it signals the event and waits to be killed.
#include "Download.h"

#include "Forms.h"
#include "HttpMod.h"

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 6)
        return 2;
    const AnsiString listUrl = argv[1], stateFile = argv[2], folder = argv[3], stopAt = argv[4];
    KernelHandle stopped(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[5]));
    if (!stopped)
        return 2;
    Application->Initialize();
    Application->CreateForm(Http);
    Http->SetOnStatus([&](TObject*) {
        if (ExtractFileName(Http->GetTarget()) == stopAt && Http->GetBytesRecvd() > 0) {
            SetEvent(stopped.get());
            Sleep(INFINITE);
        }
    });
    TDownload download;
    download.LoadList(listUrl);
    download.Prepare(stateFile);
    download.DownloadAll(stateFile, folder);
    return 1; // the run was to be killed before this
}
