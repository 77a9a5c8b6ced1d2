#include "ZipBuilder.h"

#include <QByteArray>
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>

// Writes a bundle-like ZIP package, the same bytes on every run: a few large binaries of mixed
// compressibility, about 5,000 small text resources, and framework-style links.
//   tq_zip_bundle_archive OUTPUT.zip
namespace {

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t limit) { return next() % limit; }

private:
    uint64_t m_state;
};

// Machine code stand-in: blocks of noise between blocks drawn from a few byte values.
QByteArray binary(Random& random, qsizetype size) {
    QByteArray data(size, '\0');
    for (qsizetype block = 0; block < size; block += 4096) {
        const bool noise = random.below(100) < 35;
        for (qsizetype i = block; i < std::min(size, block + 4096); i += 8) {
            uint64_t word = random.next();
            if (!noise)
                word &= 0x0303030303030303ull;
            std::memcpy(data.data() + i, &word, size_t(std::min<qsizetype>(8, size - i)));
        }
    }
    return data;
}

QByteArray text(Random& random, qsizetype size) {
    static const char* const words[] = {"<key>",  "</key>", "<string>", "</string>", "window",
                                        "button", "label",  "install",  "version",   "\n",
                                        "  ",     "colour", "layout",   "product",   "= \"",
                                        "\";",    "image",  "scale",    "title",     "menu"};
    QByteArray data;
    data.reserve(size + 16);
    while (data.size() < size) {
        data += words[random.below(std::size(words))];
        data += char('a' + random.below(26));
    }
    data.truncate(size);
    return data;
}

bool addFramework(ZipBuilder& zip, Random& random, const QByteArray& contents,
                  const QByteArray& name, qsizetype librarySize) {
    const QByteArray root = contents + "Frameworks/" + name + ".framework/";
    const QByteArray version = root + "Versions/A/";
    bool ok = zip.addDirectory(root) && zip.addDirectory(root + "Versions/") &&
              zip.addDirectory(version) && zip.addDirectory(version + "Resources/");
    ok = ok && zip.addFile(version + name, binary(random, librarySize), ZipBuilder::programMode);
    for (int i = 0; i < 20; ++i)
        ok = ok && zip.addFile(version + "Resources/r" + QByteArray::number(i) + ".plist",
                               text(random, 2000 + qsizetype(random.below(6000))));
    return ok && zip.addLink(root + "Versions/Current", "A") &&
           zip.addLink(root + name, "Versions/Current/" + name) &&
           zip.addLink(root + "Resources", "Versions/Current/Resources");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.zip\n", argv[0]);
        return 2;
    }
    Random random(20240601);
    ZipBuilder zip(QString::fromLocal8Bit(argv[1]));
    const QByteArray contents = "Product.app/Contents/";
    bool ok =
        zip.addDirectory("Product.app/") && zip.addDirectory(contents) &&
        zip.addDirectory(contents + "Linux/") && zip.addDirectory(contents + "Frameworks/") &&
        zip.addFile(contents + "Info.plist", text(random, 4000)) &&
        zip.addFile(contents + "Linux/Product", binary(random, 80 << 20),
                    ZipBuilder::programMode) &&
        zip.addFile(contents + "Linux/Helper", binary(random, 20 << 20), ZipBuilder::programMode);
    const char* const frameworks[] = {"Core", "Render", "Text", "Network"};
    for (const char* name : frameworks)
        ok = ok && addFramework(zip, random, contents, name, 40 << 20);
    ok = ok &&
         zip.addFile(contents + "Linux/Updater", binary(random, 9 << 20), ZipBuilder::programMode);

    const QByteArray resources = contents + "Resources/";
    ok = ok && zip.addDirectory(resources);
    int files = 0;
    for (int group = 0; ok && group < 48; ++group) {
        const QByteArray folder = resources + "group" + QByteArray::number(group) + ".lproj/";
        ok = zip.addDirectory(folder);
        for (int i = 0; ok && i < 100; ++i, ++files)
            ok = zip.addFile(folder + "item" + QByteArray::number(i) + ".strings",
                             text(random, 2000 + qsizetype(random.below(20000))));
    }
    ok = ok && zip.close();
    std::printf("%s: %d resource files\n", ok ? "written" : "failed", files);
    return ok ? 0 : 1;
}
