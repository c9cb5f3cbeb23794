#pragma once
#include <cstdint>
#include <vector>

// Rows first to end (exclusive) of a picture.
struct RowBand {
    int first;
    int end;
};

// The last picture presented, kept to tell which of its rows the next one changes: on the menu
// most frames repeat the one before, and what did not change needn't be scaled or sent again.
class ChangedRows {
public:
    ChangedRows();

    // The bands of rows in which the picture differs from the last one, nearby bands joined; the
    // whole picture after Forget or at another size. The picture is kept for the next call.
    const std::vector<RowBand>& Compare(const uint32_t* picture, int width, int height);
    // The next picture counts as changed everywhere.
    void Forget() { known = false; }

    // The last picture, rows packed.
    std::vector<uint32_t> last;
    int width;
    int height;
    bool known;
    std::vector<RowBand> bands;
};
