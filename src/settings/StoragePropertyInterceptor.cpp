#include "settings/StoragePropertyInterceptor.h"

#include <array>

namespace pictavo {

namespace {

constexpr std::array<std::string_view, 6> kGeometryProps = {"Height", "Left",  "PixelsPerInch",
                                                            "Top",    "Width", "WindowState"};

bool Is(std::string_view name, std::string_view prop) { return CompareTextAscii(name, prop) == 0; }

}  // namespace

std::string_view WindowStateIdent(TWindowStateEh state) {
    switch (state) {
    case TWindowStateEh::Minimized:
        return "wsMinimized";
    case TWindowStateEh::Maximized:
        return "wsMaximized";
    case TWindowStateEh::Normal:
        break;
    }
    return "wsNormal";
}

std::optional<TWindowStateEh> WindowStateFromIdent(std::string_view ident) {
    for (TWindowStateEh state : {TWindowStateEh::Normal, TWindowStateEh::Minimized, TWindowStateEh::Maximized})
        if (Is(ident, WindowStateIdent(state))) return state;
    return std::nullopt;
}

int64_t MulDivRounded(int64_t value, int64_t numerator, int64_t denominator) {
    const __int128 product = static_cast<__int128>(value) * numerator;
    __int128 quotient = product / denominator;
    const __int128 remainder = product % denominator;
    const __int128 absRemainder = remainder < 0 ? -remainder : remainder;
    const __int128 absDenominator =
        denominator < 0 ? -static_cast<__int128>(denominator) : static_cast<__int128>(denominator);
    if (2 * absRemainder >= absDenominator) quotient += (product < 0) != (denominator < 0) ? -1 : 1;
    return static_cast<int64_t>(quotient);
}

bool TFormGeometryInterceptor::Intercepts(std::string_view name) const {
    for (std::string_view prop : kGeometryProps)
        if (Is(name, prop)) return true;
    return false;
}

void TFormGeometryInterceptor::ResetRead() {
    Left.reset();
    Top.reset();
    Width.reset();
    Height.reset();
    PixelsPerInch.reset();
    WindowState.reset();
}

bool TFormGeometryInterceptor::AnythingRead() const {
    return Left || Top || Width || Height || PixelsPerInch || WindowState;
}

void TFormGeometryInterceptor::ReadProperty(TPropReaderEh& reader, std::string_view name) {
    if (Is(name, "WindowState")) {
        const std::string ident = reader.ReadIdent();
        const std::optional<TWindowStateEh> state = WindowStateFromIdent(ident);
        if (!state) throw EPropReadError("not a window state: " + ident);
        WindowState = state;
        return;
    }
    const int64_t value = reader.ReadInteger();
    if (Is(name, "PixelsPerInch")) {
        if (value < 1 || value > kMaxPixelsPerInch) throw EPropReadError("screen density out of range");
        PixelsPerInch = static_cast<int>(value);
        return;
    }
    const bool size = Is(name, "Width") || Is(name, "Height");
    if (value > kMaxStoredCoordinate || value < (size ? 1 : -kMaxStoredCoordinate))
        throw EPropReadError("window geometry out of range");
    if (Is(name, "Left"))
        Left = value;
    else if (Is(name, "Top"))
        Top = value;
    else if (Is(name, "Width"))
        Width = value;
    else if (Is(name, "Height"))
        Height = value;
    else
        throw EPropReadError("not a geometry property: " + std::string(name));
}

void TFormGeometryInterceptor::WriteProperty(TPropWriterEh& writer, std::string_view name) {
    const TFormGeometryEh geometry = SavedGeometry();
    writer.WritePropName(name);
    if (Is(name, "WindowState"))
        writer.WriteIdent(WindowStateIdent(geometry.WindowState));
    else if (Is(name, "PixelsPerInch"))
        writer.WriteInteger(geometry.PixelsPerInch);
    else if (Is(name, "Left"))
        writer.WriteInteger(geometry.Rect.Left);
    else if (Is(name, "Top"))
        writer.WriteInteger(geometry.Rect.Top);
    else if (Is(name, "Width"))
        writer.WriteInteger(geometry.Rect.Width);
    else if (Is(name, "Height"))
        writer.WriteInteger(geometry.Rect.Height);
    else
        throw EPropWriteError("not a geometry property: " + std::string(name));
}

TFormRectEh TFormGeometryInterceptor::RestoredRect(const TFormRectEh& current, int currentPixelsPerInch) const {
    const bool scale = PixelsPerInch && currentPixelsPerInch >= 1 && currentPixelsPerInch <= kMaxPixelsPerInch &&
                       *PixelsPerInch != currentPixelsPerInch;
    // Each value is at most kMaxStoredCoordinate and each density at most kMaxPixelsPerInch,
    // so the scaled values stay far inside an int64_t; only the result is range-checked.
    auto scaled = [&](const std::optional<int64_t>& stored, int fallback, int64_t low) {
        if (!stored) return fallback;
        const int64_t value = scale ? MulDivRounded(*stored, currentPixelsPerInch, *PixelsPerInch) : *stored;
        if (value < low || value > kMaxStoredCoordinate) return fallback;
        return static_cast<int>(value);
    };
    TFormRectEh rect;
    rect.Left = scaled(Left, current.Left, -kMaxStoredCoordinate);
    rect.Top = scaled(Top, current.Top, -kMaxStoredCoordinate);
    rect.Width = scaled(Width, current.Width, 1);
    rect.Height = scaled(Height, current.Height, 1);
    return rect;
}

}  // namespace pictavo
