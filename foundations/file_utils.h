#pragma once
// File-name and URL tests of the library. Names are UTF-8; "/" and "\" both
// separate folders, and ":" ends a drive prefix.
#include <cstdint>
#include <string>

// The extension of Name in lower case, with its dot only when IncludeDot; ""
// when the name part has none.
std::string IEExtractFileExt(const std::string& Name, bool IncludeDot);
std::string IEFileExtension(const std::string& Name, bool IncludeDot = true);
std::string IEFileExtensionW(const std::string& Name, bool IncludeDot = true);

// Name up to and including the last "/", "\" or ":".
std::string IEExtractFilePathW(const std::string& Name);
// The part of Name after the last "/", "\" or ":".
std::string IEExtractFileNameW(const std::string& Name);

// True when Name exists and is not a folder (through the runtime's
// FileExists when IEUseFileExists is set).
bool IEFileExists(const std::string& Name);
bool IEFileExistsW(const std::string& Name);

// 1 for "http://", 2 for "https://", 3 for "ftp://" at the start (any case),
// else 0.
int32_t IEGetURLType(const std::string& Name);
int32_t IEGetURLTypeW(const std::string& Name);
