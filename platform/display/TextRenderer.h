#pragma once

class Surface;

// Writes text the way a fresh device context does: the system font, black on an opaque white box,
// top-left corner at (x, y), cut at the surface's edges. Draws nothing when no font can be found.
void TextOut(Surface& surface, int x, int y, const char* text, int length);

// Closes the font (at shutdown).
void CloseTextRenderer();
