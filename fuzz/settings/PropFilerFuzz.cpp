// libFuzzer target for the text notation of stored window properties. The input is taken as a
// stored text and walked with ReadPropertiesText by a target that takes every component and
// reads every value (also as the kinds it is not); the same bytes are also written as one
// string value and read back, fed to a form's geometry interceptor, and split into property
// paths. Besides the sanitizers it checks, and traps when one breaks:
//   - the walk raises nothing but EPropReadError;
//   - a text that was read writes out again with TPropWriterEh, and that text reads back into
//     the same objects, properties and values, and writes out the same text again;
//   - any bytes written as a string read back unchanged, and when they are UTF-8 every line
//     written is UTF-8 too (no cut inside a character);
//   - a restored rectangle keeps its values within the stored-geometry limits;
//   - property paths stay sorted without duplicates.

#include "settings/PropFilerEh.h"
#include "settings/StoragePropertyInterceptor.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace pictavo;

namespace {

#define FUZZ_CHECK(cond)                                                                                  \
    do {                                                                                                  \
        if (!(cond)) {                                                                                    \
            std::fprintf(stderr, "settings_fuzz: check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            __builtin_trap();                                                                             \
        }                                                                                                 \
    } while (0)

struct TNode {
    std::string Name, ClassName;
    std::vector<std::pair<std::string, TPropValueEh>> Props;
    std::vector<std::unique_ptr<TNode>> Children;
    bool operator==(const TNode& o) const {
        if (Name != o.Name || ClassName != o.ClassName || Props != o.Props || Children.size() != o.Children.size())
            return false;
        for (size_t i = 0; i < Children.size(); ++i)
            if (!(*Children[i] == *o.Children[i])) return false;
        return true;
    }
};

class TGeometry : public TFormGeometryInterceptor {
public:
    void Readed() override {}

protected:
    TFormGeometryEh SavedGeometry() const override { return {}; }
};

// Records everything into a tree; before recording a value it tries reading it as some other
// kind and goes back, as a window's handler that expects another kind would.
class TTreeTarget : public TPropTargetEh {
public:
    TTreeTarget(TNode& node, TGeometry* geometry) : FNode(node), FGeometry(geometry) {}

    void ReadProperty(TPropReaderEh& reader, const std::string& name) override {
        const size_t start = reader.Position();
        try {
            switch (name.size() % 5) {
            case 0:
                (void)reader.ReadInteger();
                break;
            case 1:
                (void)reader.ReadIdent();
                break;
            case 2:
                (void)reader.ReadString();
                break;
            case 3:
                (void)reader.ReadBoolean();
                break;
            default:
                (void)reader.NextValue();
                break;
            }
        } catch (const EPropReadError&) {
        }
        if (FGeometry && FGeometry->Intercepts(name)) {
            reader.Seek(start);
            try {
                FGeometry->ReadProperty(reader, name);
            } catch (const EPropReadError&) {
            }
        }
        reader.Seek(start);
        FNode.Props.emplace_back(name, reader.ReadValue());
    }

    std::unique_ptr<TPropTargetEh> FindComponent(const std::string& name, const std::string& className) override {
        auto child = std::make_unique<TNode>();
        child->Name = name;
        child->ClassName = className;
        FNode.Children.push_back(std::move(child));
        return std::make_unique<TTreeTarget>(*FNode.Children.back(), nullptr);
    }

private:
    TNode& FNode;
    TGeometry* FGeometry;
};

// Reads a text into a tree; false when the walk raised EPropReadError. Any other exception
// escapes and is reported as a crash.
bool ReadTree(std::string_view text, TNode& root, TGeometry* geometry) {
    {
        // The root's name and class, as the walk reads them.
        TPropReaderEh header(text);
        try {
            header.ReadObjectHeader(root.Name, root.ClassName);
        } catch (const EPropReadError&) {
            return false;
        }
    }
    TTreeTarget target(root, geometry);
    try {
        ReadPropertiesText(text, target);
    } catch (const EPropReadError&) {
        return false;
    }
    return true;
}

void WriteNode(TPropWriterEh& writer, const TNode& node) {
    writer.WriteObjectBegin(node.Name, node.ClassName);
    for (const auto& [name, value] : node.Props) {
        writer.WritePropName(name);
        writer.WriteValue(value);
    }
    for (const auto& child : node.Children) WriteNode(writer, *child);
    writer.WriteObjectEnd();
}

bool ValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        if (c < 0x80)
            n = 1;
        else if ((c >> 5) == 6)
            n = 2;
        else if ((c >> 4) == 14)
            n = 3;
        else if ((c >> 3) == 30)
            n = 4;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

void CheckTextRoundTrip(std::string_view text) {
    TNode root;
    TGeometry geometry;
    if (!ReadTree(text, root, &geometry)) return;

    // What was read writes out again and reads back the same.
    TPropWriterEh writer;
    WriteNode(writer, root);
    FUZZ_CHECK(writer.Complete());
    TNode again;
    FUZZ_CHECK(ReadTree(writer.Text(), again, nullptr));
    FUZZ_CHECK(again == root);
    TPropWriterEh writer2;
    WriteNode(writer2, again);
    FUZZ_CHECK(writer2.Text() == writer.Text());

    // The geometry collected stays within its limits after any scaling.
    const TFormRectEh current{1, 2, 3, 4};
    for (int ppi : {1, 96, 120, kMaxPixelsPerInch, 0, -5}) {
        const TFormRectEh r = geometry.RestoredRect(current, ppi);
        FUZZ_CHECK(r.Left == current.Left || (r.Left >= -kMaxStoredCoordinate && r.Left <= kMaxStoredCoordinate));
        FUZZ_CHECK(r.Top == current.Top || (r.Top >= -kMaxStoredCoordinate && r.Top <= kMaxStoredCoordinate));
        FUZZ_CHECK(r.Width == current.Width || (r.Width >= 1 && r.Width <= kMaxStoredCoordinate));
        FUZZ_CHECK(r.Height == current.Height || (r.Height >= 1 && r.Height <= kMaxStoredCoordinate));
    }
}

void CheckStringRoundTrip(std::string_view bytes) {
    TPropWriterEh writer;
    writer.WriteObjectBegin("wnd_pv_Main", "Twnd_pv_Main");
    writer.WritePropName("LastFolder");
    writer.WriteString(bytes);
    writer.WriteObjectEnd();
    if (ValidUtf8(bytes))
        for (const std::string& line : writer.Lines()) FUZZ_CHECK(ValidUtf8(line));
    TPropReaderEh reader(writer.Text());
    std::string name, className;
    reader.ReadObjectHeader(name, className);
    FUZZ_CHECK(reader.ReadPropName() == "LastFolder");
    FUZZ_CHECK(reader.ReadString() == bytes);
    reader.ReadListEnd();
    FUZZ_CHECK(reader.AtEnd());
}

void CheckPropertyPaths(std::string_view text) {
    TPropertyNamesEh names;
    size_t start = 0;
    for (int n = 0; n < 256 && start <= text.size(); ++n) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view path = text.substr(start, end - start);
        const bool added = names.Add(path);
        FUZZ_CHECK(!added || names.IndexOf(path) >= 0);
        start = end + 1;
    }
    for (size_t i = 1; i < names.Count(); ++i) FUZZ_CHECK(names.ComparePaths(names[i - 1], names[i]) < 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckTextRoundTrip(text);
    CheckStringRoundTrip(text);
    CheckPropertyPaths(text);
    return 0;
}
