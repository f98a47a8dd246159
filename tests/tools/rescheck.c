/* Windows-side check of a packed installer, run under Wine: the loader's own
 * FindResourceA/LoadResource/SizeofResource must find every resource named on
 * the command line with exactly the bytes of the given file.
 *
 *   rescheck [--module FILE] [--checksum FILE] [--icon NAME SIZES] [--version KEY VALUE]...
 *            TYPE NAME EXPECTED ...
 *
 * Without --module the program checks its own resources: the tests pack this
 * program as a stub and run the result, which also proves that the rewritten
 * image loads and runs. With --module the file is loaded as a data file and
 * as an image resource, which works for 32-bit files in a 64-bit process.
 * EXPECTED is a file, "-" for "present, any content" or "!" for "absent".
 * --checksum compares the header checksum with imagehlp's own computation.
 * --icon has the system pick an image for each of SIZES ("16,32") from the
 * icon group NAME, as LoadIcon does, and make an icon of it, which must be
 * of that size itself, not scaled to it. --version looks KEY up in the version record with
 * VerQueryValue, under the language and code page of its translation; the
 * value must be VALUE (ASCII). */
#include <windows.h>
#include <imagehlp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int ReadFileBytes(const char* path, char** data, DWORD* size) {
  FILE* f = fopen(path, "rb");
  long n;
  if (!f) return 0;
  fseek(f, 0, SEEK_END);
  n = ftell(f);
  fseek(f, 0, SEEK_SET);
  *data = malloc(n > 0 ? (size_t)n : 1);
  *size = (DWORD)fread(*data, 1, (size_t)n, f);
  fclose(f);
  return *size == (DWORD)n;
}

static int CheckOne(HMODULE module, const char* how, const char* type, const char* name, const char* expected) {
  HRSRC found = FindResourceA(module, name, type);
  HGLOBAL loaded;
  DWORD size, want_size;
  const void* bytes;
  char* want;
  if (strcmp(expected, "!") == 0) {
    if (!found) return 1;
    printf("%s: %s/%s is present but should be absent\n", how, type, name);
    return 0;
  }
  if (!found) {
    printf("%s: FindResourceA(%s, %s) failed (error %lu)\n", how, type, name, GetLastError());
    return 0;
  }
  loaded = LoadResource(module, found);
  size = SizeofResource(module, found);
  bytes = loaded ? LockResource(loaded) : NULL;
  if (!bytes) {
    printf("%s: LoadResource(%s, %s) failed\n", how, type, name);
    return 0;
  }
  if (strcmp(expected, "-") == 0) return 1;
  if (!ReadFileBytes(expected, &want, &want_size)) {
    printf("cannot read %s\n", expected);
    return 0;
  }
  if (size != want_size || memcmp(bytes, want, size) != 0) {
    printf("%s: %s/%s has %lu bytes that differ from %s (%lu bytes)\n", how, type, name, size, expected,
           want_size);
    free(want);
    return 0;
  }
  free(want);
  return 1;
}

static int CheckIcon(HMODULE module, const char* how, const char* name, const char* sizes) {
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(14));
  HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
  BYTE* group = loaded ? (BYTE*)LockResource(loaded) : NULL;
  const char* at = sizes;
  int ok = 1;
  if (!group) {
    printf("%s: no icon group %s\n", how, name);
    return 0;
  }
  while (*at) {
    int size = atoi(at), id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC image = id ? FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3)) : NULL;
    HGLOBAL bits = image ? LoadResource(module, image) : NULL;
    /* Made at the image's own size, which must be the one asked for. */
    HICON icon = bits ? CreateIconFromResourceEx((BYTE*)LockResource(bits), SizeofResource(module, image), TRUE,
                                                 0x00030000, 0, 0, LR_DEFAULTCOLOR)
                      : NULL;
    ICONINFO info;
    BITMAP bitmap;
    memset(&bitmap, 0, sizeof bitmap);
    if (icon && GetIconInfo(icon, &info))
      GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (!icon || bitmap.bmWidth != size) {
      printf("%s: icon %s has no usable %d x %d image (image %d, made %ld wide)\n", how, name, size, size, id,
             bitmap.bmWidth);
      ok = 0;
    }
    at = strchr(at, ',') ? strchr(at, ',') + 1 : at + strlen(at);
  }
  return ok;
}

static int CheckVersion(const char* path, const char* key, const char* expected) {
  DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
  char* record = malloc(size ? size : 1);
  WORD* translation = NULL;
  UINT length = 0;
  char query[128];
  char* value = NULL;
  int ok = 0;
  if (size && GetFileVersionInfoA(path, 0, size, record) &&
      VerQueryValueA(record, "\\VarFileInfo\\Translation", (void**)&translation, &length) && length >= 4) {
    snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], key);
    ok = VerQueryValueA(record, query, (void**)&value, &length) && strcmp(value, expected) == 0;
  }
  if (!ok) printf("%s: version record's %s is \"%s\", not \"%s\"\n", path, key, value ? value : "(none)", expected);
  free(record);
  return ok;
}

static int CheckAll(HMODULE module, const char* how, int argc, char** argv, int first) {
  int ok = 1;
  int i;
  for (i = first; i + 2 < argc; i += 3) ok &= CheckOne(module, how, argv[i], argv[i + 1], argv[i + 2]);
  return ok;
}

int main(int argc, char** argv) {
  const char* module_path = NULL;
  const char* icon_name = NULL;
  const char* icon_sizes = NULL;
  const char* version_keys[16];
  const char* version_values[16];
  int versions = 0;
  int first = 1;
  int ok = 1;
  int i;
  while (first + 1 < argc && strncmp(argv[first], "--", 2) == 0) {
    if (strcmp(argv[first], "--icon") == 0 && first + 2 < argc) {
      icon_name = argv[first + 1];
      icon_sizes = argv[first + 2];
      ++first;
    } else if (strcmp(argv[first], "--version") == 0 && first + 2 < argc && versions < 16) {
      version_keys[versions] = argv[first + 1];
      version_values[versions++] = argv[first + 2];
      ++first;
    } else if (strcmp(argv[first], "--module") == 0) {
      module_path = argv[first + 1];
    } else if (strcmp(argv[first], "--checksum") == 0) {
      DWORD header = 0, computed = 0;
      DWORD rc = MapFileAndCheckSumA(argv[first + 1], &header, &computed);
      if (rc != CHECKSUM_SUCCESS || header != computed) {
        printf("%s: header checksum %08lx, computed %08lx (rc %lu)\n", argv[first + 1], header, computed, rc);
        ok = 0;
      }
    } else {
      printf("unknown option %s\n", argv[first]);
      return 2;
    }
    first += 2;
  }
  if ((argc - first) % 3 != 0) {
    printf(
        "usage: rescheck [--module FILE] [--checksum FILE] [--icon NAME SIZES] [--version KEY VALUE]... "
        "TYPE NAME EXPECTED ...\n");
    return 2;
  }
  for (i = 0; i < versions; ++i) {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    ok &= CheckVersion(module_path ? module_path : self, version_keys[i], version_values[i]);
  }
  if (!module_path) {
    ok &= CheckAll(GetModuleHandleA(NULL), "self", argc, argv, first);
    if (icon_name) ok &= CheckIcon(GetModuleHandleA(NULL), "self", icon_name, icon_sizes);
  } else {
    static const struct { DWORD flags; const char* how; } kLoads[] = {
        {LOAD_LIBRARY_AS_DATAFILE, "data file"},
        {LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE, "image resource"},
    };
    size_t k;
    for (k = 0; k < sizeof kLoads / sizeof kLoads[0]; ++k) {
      HMODULE module = LoadLibraryExA(module_path, NULL, kLoads[k].flags);
      if (!module) {
        printf("%s: LoadLibraryExA(%s) failed (error %lu)\n", kLoads[k].how, module_path, GetLastError());
        ok = 0;
        continue;
      }
      ok &= CheckAll(module, kLoads[k].how, argc, argv, first);
      if (icon_name) ok &= CheckIcon(module, kLoads[k].how, icon_name, icon_sizes);
      FreeLibrary(module);
    }
  }
  if (ok) printf("rescheck: all resources match\n");
  return ok ? 0 : 1;
}
