// Properties that a storage does not read and write through the object's own properties but
// through an interceptor: for a form, its geometry, which is collected while a stored text is
// read and applied only once the whole text was read.
#pragma once

#include "settings/PropFilerEh.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace pictavo {

enum class TWindowStateEh { Normal, Minimized, Maximized };

// wsNormal, wsMinimized, wsMaximized (read in any case).
std::string_view WindowStateIdent(TWindowStateEh state);
std::optional<TWindowStateEh> WindowStateFromIdent(std::string_view ident);

// Stored coordinates and sizes beyond this many pixels are not a window anyone had; they are
// refused on reading, before any scaling, so that no arithmetic on them can overflow.
inline constexpr int64_t kMaxStoredCoordinate = 1'000'000;
// Screen densities beyond this are refused the same way (a density of 0 would divide by 0).
inline constexpr int kMaxPixelsPerInch = 10'000;

struct TFormRectEh {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TFormRectEh&) const = default;
};

// What a form stores of its geometry: its normal rectangle, the screen density it was laid out
// at, and its state.
struct TFormGeometryEh {
    TFormRectEh Rect;
    int PixelsPerInch = 96;
    TWindowStateEh WindowState = TWindowStateEh::Normal;
};

// value * numerator / denominator with the product taken whole, rounded half away from zero.
// The denominator must not be 0 and the result must fit in 64 bits.
int64_t MulDivRounded(int64_t value, int64_t numerator, int64_t denominator);

// Stores and restores some properties of an object in place of its own properties.
class TStoragePropertyInterceptor {
public:
    virtual ~TStoragePropertyInterceptor() = default;
    // Whether the property `name` (any case) is this interceptor's.
    virtual bool Intercepts(std::string_view name) const = 0;
    // Reads the property's value (the reader stands at it); raises EPropReadError on a value
    // the property cannot take.
    virtual void ReadProperty(TPropReaderEh& reader, std::string_view name) = 0;
    // Writes the property's name and value.
    virtual void WriteProperty(TPropWriterEh& writer, std::string_view name) = 0;
    // The stored text has been read: apply what was collected.
    virtual void Readed() = 0;
};

// The window-system-free half of a form's interceptor: Left, Top, Width, Height,
// PixelsPerInch and WindowState, written from SavedGeometry() and collected on reading.
class TFormGeometryInterceptor : public TStoragePropertyInterceptor {
public:
    bool Intercepts(std::string_view name) const override;
    void ReadProperty(TPropReaderEh& reader, std::string_view name) override;
    void WriteProperty(TPropWriterEh& writer, std::string_view name) override;

    // What was read since the last ResetRead().
    std::optional<int64_t> Left, Top, Width, Height;
    std::optional<int> PixelsPerInch;
    std::optional<TWindowStateEh> WindowState;
    void ResetRead();
    bool AnythingRead() const;
    // Left or Top was read: the stored position holds rather than a centring rule.
    bool PositionRead() const { return Left.has_value() || Top.has_value(); }

    // The rectangle to restore: each value read, scaled by currentPixelsPerInch over the
    // stored density (when both are known), in place of that of `current`.
    TFormRectEh RestoredRect(const TFormRectEh& current, int currentPixelsPerInch) const;

protected:
    // The form's geometry as it is to be stored now.
    virtual TFormGeometryEh SavedGeometry() const = 0;
};

}  // namespace pictavo
