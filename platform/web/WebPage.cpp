#include "platform/web/WebPage.h"

#include <emscripten.h>

namespace {

EM_ASYNC_JS(double, AwaitRefreshInPage, (), { return await Module.page.awaitRefresh(); });

EM_JS(void, StartPictureInPage, (int width, int height),
      { Module.page.startPicture(width, height); });

EM_JS(void, PutRowsInPage, (const uint32_t* rgba, int width, int first, int end),
      { Module.page.putRows(HEAPU8, rgba, width, first, end); });

EM_JS(void, FramePresentedInPage, (double moment), { Module.page.framePresented(moment); });

EM_ASYNC_JS(void, ShowMessageInPage, (const char* caption, const char* text),
            { await Module.page.showMessage(UTF8ToString(caption), UTF8ToString(text)); });

EM_JS(void, ProgramEndedInPage, (int exitCode), { Module.page.programEnded(exitCode); });

}  // namespace

namespace WebPage {

double AwaitRefresh() {
    return AwaitRefreshInPage();
}

void Sleep(int milliseconds) {
    emscripten_sleep(static_cast<unsigned>(milliseconds));
}

void StartPicture(int width, int height) {
    StartPictureInPage(width, height);
}

void PutRows(const uint32_t* rgba, int width, int first, int end) {
    PutRowsInPage(rgba, width, first, end);
}

void FramePresented(double moment) {
    FramePresentedInPage(moment);
}

void ShowMessage(const char* caption, const char* text) {
    ShowMessageInPage(caption, text);
}

void ProgramEnded(int exitCode) {
    ProgramEndedInPage(exitCode);
}

}  // namespace WebPage
