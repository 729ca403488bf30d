#include "viewer/core/look/DialogUnits.h"

namespace tarvell {

namespace {
// a * b / c rounded half away from zero, in 64 bits so that no product overflows.
int MulDivRound(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    const long long q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return static_cast<int>(q);
}
}  // namespace

int DluToPixelsX(int dlu) { return MulDivRound(dlu, kDialogBaseUnitX, 4); }
int DluToPixelsY(int dlu) { return MulDivRound(dlu, kDialogBaseUnitY, 8); }

Rect DluRect(int x, int y, int width, int height) {
    const int left = DluToPixelsX(x), top = DluToPixelsY(y);
    return Rect{left, top, DluToPixelsX(x + width), DluToPixelsY(y + height)};
}

}  // namespace tarvell
