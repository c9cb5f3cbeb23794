#include "platform/input/KeyCodes.h"

int VirtualKeyFromKeyCode(int keyCode) {
    static const char* const rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    static const int rowStarts[] = {DIK_Q, DIK_A, DIK_Z};
    for (int row = 0; row < 3; ++row) {
        const char* letters = rows[row];
        for (int i = 0; letters[i] != '\0'; ++i) {
            if (keyCode == rowStarts[row] + i) return letters[i];
        }
    }
    if (keyCode >= DIK_1 && keyCode < DIK_0) return '1' + (keyCode - DIK_1);
    if (keyCode == DIK_0) return '0';
    return 0;
}
