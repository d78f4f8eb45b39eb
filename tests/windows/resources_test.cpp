// Quarvel.exe's own resources, read back the way Windows reads them: the
// version information through GetFileVersionInfoW, the icon that Explorer
// shows (the first icon group) rebuilt into an .ico file, and the application
// manifest through an activation context made from it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "wine_paths.h"

namespace quarvel::wintest {
namespace {

const std::wstring& program() {
  static const std::wstring path = from_unix(QUARVEL_WINDOWS_PROGRAM);
  return path;
}

class VersionInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program().c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version information in " << utf8(program());
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(program().c_str(), 0, size, data_.data()));
  }

  // The string value of the block 040904B0 (US English, UTF-16), if present.
  std::optional<std::wstring> string(const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(data_.data(), key.c_str(), &value, &length) || !value) return {};
    return std::wstring(static_cast<const wchar_t*>(value));
  }

  std::vector<unsigned char> data_;
};

TEST_F(VersionInfo, FileAndProductVersionAre1000) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << "file version 1.0";
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u) << "file version .0.0";
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_F(VersionInfo, OneTranslationUsEnglishUnicode) {
  WORD* pairs = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&pairs), &length));
  ASSERT_EQ(length, 4u) << "exactly one language and code page";
  EXPECT_EQ(pairs[0], 0x0409);
  EXPECT_EQ(pairs[1], 0x04B0);
}

TEST_F(VersionInfo, TheFiveStringsExactly) {
  EXPECT_EQ(string(L"ProductName"), L"launcher");
  EXPECT_EQ(string(L"FileVersion"), L"1.00");
  EXPECT_EQ(string(L"ProductVersion"), L"1.00");
  EXPECT_EQ(string(L"InternalName"), L"Quarvel");
  EXPECT_EQ(string(L"OriginalFilename"), L"Quarvel.exe");
  // ... and none of the usual others.
  for (const wchar_t* other :
       {L"CompanyName", L"FileDescription", L"LegalCopyright", L"Comments", L"LegalTrademarks"}) {
    EXPECT_FALSE(string(other)) << utf8(other) << " is present";
  }
}

// The resource types, spelled for the wide functions.
const LPCWSTR kIconType = MAKEINTRESOURCEW(3);        // RT_ICON
const LPCWSTR kGroupIconType = MAKEINTRESOURCEW(14);  // RT_GROUP_ICON

#pragma pack(push, 2)
struct GroupIconEntry {  // one image in an RT_GROUP_ICON resource
  BYTE width, height, colour_count, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14);

BOOL CALLBACK collect_name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
  auto* names = reinterpret_cast<std::vector<std::wstring>*>(out);
  names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                        : std::wstring(name));
  return TRUE;
}

std::vector<unsigned char> resource_bytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
  return bytes ? std::vector<unsigned char>(bytes, bytes + SizeofResource(module, info))
               : std::vector<unsigned char>{};
}

template <typename T>
void put(std::vector<unsigned char>& out, T value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

// An .ico file made of an icon group and its images, laid out as usual:
// header, directory, then the images in directory order.
std::vector<unsigned char> icon_file(HMODULE module, LPCWSTR group_name) {
  const auto group = resource_bytes(module, kGroupIconType, group_name);
  if (group.size() < 6) return {};
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  if (group.size() < 6 + count * sizeof(GroupIconEntry)) return {};
  std::vector<unsigned char> file(group.begin(), group.begin() + 6);
  std::vector<std::vector<unsigned char>> images;
  DWORD offset = 6 + 16 * count;
  for (WORD i = 0; i < count; ++i) {
    GroupIconEntry e;
    std::memcpy(&e, group.data() + 6 + i * sizeof(e), sizeof(e));
    images.push_back(resource_bytes(module, kIconType, MAKEINTRESOURCEW(e.id)));
    file.insert(file.end(), {e.width, e.height, e.colour_count, e.reserved});
    put<WORD>(file, e.planes);
    put<WORD>(file, e.bit_count);
    put<DWORD>(file, e.bytes);
    put<DWORD>(file, offset);
    offset += static_cast<DWORD>(images.back().size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

// The program loaded as data, for reading its resources.
class ProgramImage {
 public:
  ProgramImage()
      : module_(LoadLibraryExW(program().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ProgramImage() {
    if (module_) FreeLibrary(module_);
  }
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;

  HMODULE module() const { return module_; }
  std::vector<std::wstring> names(LPCWSTR type) const {
    std::vector<std::wstring> names;
    EnumResourceNamesW(module_, type, collect_name, reinterpret_cast<LONG_PTR>(&names));
    return names;
  }

 private:
  HMODULE module_;
};

TEST(ProgramIcon, IsTheOnlyIconGroupAndEqualsQuarvelIcoByteForByte) {
  const ProgramImage image;
  ASSERT_NE(image.module(), nullptr) << "cannot load " << utf8(program());
  const auto groups = image.names(kGroupIconType);
  ASSERT_EQ(groups.size(), 1u) << "the program's icon must be its first and only icon";
  EXPECT_EQ(groups[0], L"#1");

  const auto rebuilt = icon_file(image.module(), MAKEINTRESOURCEW(1));
  std::ifstream in(std::filesystem::path(from_unix(QUARVEL_ICON_FILE)), std::ios::binary);
  ASSERT_TRUE(in) << "cannot read " << QUARVEL_ICON_FILE;
  const std::vector<unsigned char> original{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(rebuilt.size(), original.size());
  EXPECT_TRUE(rebuilt == original) << "the icon resource differs from assets/quarvel.ico";
}

const LPCWSTR kManifestType = MAKEINTRESOURCEW(24);  // RT_MANIFEST

TEST(ApplicationManifest, IsTheOnlyManifestResourceNumberOne) {
  const ProgramImage image;
  ASSERT_NE(image.module(), nullptr) << "cannot load " << utf8(program());
  // Number 1 is the one Windows reads when it starts a program; an exe may carry no other.
  ASSERT_EQ(image.names(kManifestType), std::vector<std::wstring>{L"#1"});
  const auto bytes = resource_bytes(image.module(), kManifestType, MAKEINTRESOURCEW(1));
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u)
      << "UTF-8 without a byte order mark, declared as such";
}

// The program's manifest as Windows applies it when the program starts.
class ManifestActivationContext : public ::testing::Test {
 protected:
  void SetUp() override {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = program().c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    context_ = CreateActCtxW(&request);
    ASSERT_NE(context_, INVALID_HANDLE_VALUE)
        << "Windows rejects the manifest, error " << GetLastError();
  }
  void TearDown() override {
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }

  std::optional<std::wstring> setting(const wchar_t* name_space, const wchar_t* name) {
    wchar_t value[64] = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context_, name_space, name, value, std::size(value), &written)) {
      return {};
    }
    return std::wstring(value);
  }

  HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ManifestActivationContext, RunsAsInvokerWithoutUiAccess) {
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, RunlevelInformationInActivationContext, &info,
                           sizeof(info), &written));
  EXPECT_EQ(info.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER) << "never elevated";
  EXPECT_EQ(info.UiAccess, 0u);
}

// The compatibility information as Windows 10 and Wine lay it out: each element
// also carries the highest version tested, which mingw-w64's headers still lack.
struct CompatibilityElement {
  GUID id;
  ACTCTX_COMPATIBILITY_ELEMENT_TYPE type;
  ULONGLONG max_version_tested;
};
struct CompatibilityInformation {
  DWORD count;
  CompatibilityElement elements[8];
};

TEST_F(ManifestActivationContext, SupportsWindows7To11AndNoOther) {
  CompatibilityInformation info{};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context_, nullptr, CompatibilityInformationInActivationContext, &info,
                           sizeof(info), &written));
  ASSERT_LE(info.count, std::size(info.elements));
  std::vector<std::wstring> systems;
  for (DWORD i = 0; i < info.count; ++i) {
    EXPECT_EQ(info.elements[i].type, ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS);
    wchar_t id[40] = {};
    ASSERT_GT(StringFromGUID2(info.elements[i].id, id, std::size(id)), 0);
    systems.push_back(id);
  }
  EXPECT_EQ(systems, (std::vector<std::wstring>{
                         L"{35138B9A-5D96-4FBD-8E2D-A2440225F93A}",  // Windows 7
                         L"{4A2F28E3-53B9-4441-BA9C-D69D4A4A6E38}",  // Windows 8
                         L"{1F676C76-80E1-4239-95BB-83D0F6D0DA78}",  // Windows 8.1
                         L"{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}",  // Windows 10 and 11
                     }));
}

TEST_F(ManifestActivationContext, IsExplicitlyDpiUnaware) {
  // Both spellings: Windows 10 1607 and later read the second, older ones the first.
  EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
            std::wstring(L"false"));
  EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
            std::wstring(L"unaware"));
}

}  // namespace
}  // namespace quarvel::wintest
