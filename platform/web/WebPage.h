#pragma once
#include <cstdint>

// What the game asks of the page it runs in (flurber-page.js, reached through Module.page; see
// flurber-pre.js). The waits give the browser the main thread until they end.
namespace WebPage {

// Waits for the browser's next display refresh; returns its moment in milliseconds.
double AwaitRefresh();
// Gives the main thread to the browser for about this long.
void Sleep(int milliseconds);
// The canvas shows a picture of width x height from now on.
void StartPicture(int width, int height);
// Copies rows first to end (exclusive) of a picture of RGBA bytes onto the canvas.
void PutRows(const uint32_t* rgba, int width, int first, int end);
// A flipped frame went out on the refresh at this moment.
void FramePresented(double moment);
// Shows an information box in the page and waits until the player closes it.
void ShowMessage(const char* caption, const char* text);
// The program has ended with this code: the page says so.
void ProgramEnded(int exitCode);

}  // namespace WebPage
