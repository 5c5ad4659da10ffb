// The text files the two auxiliary windows edit (String.txt, Synonym.Dic), read into and written
// from the editor's lines: CP932, CR LF after every line but a last one typed without Enter.
#pragma once

#include <filesystem>

#include "editor/editor_lines.h"

namespace tarn::ui {

enum class TFileRead { fr_Missing, fr_Loaded, fr_Failed };

// Replaces the lines by the file's (line ends CR LF, CR or LF; every byte kept but a 0x1A that
// ends the file) when the file exists. A file that exists but cannot be read leaves the lines as they are; so does one
// that is no regular file, whose reading could block (a FIFO) or never end.
TFileRead ReadEditorFile(const std::filesystem::path& path, editor::TEditorLines& lines);

// Creates the file's directory when missing, then replaces the file atomically with the lines.
// Throws settings::ESettingsFile ("ファイル %s を作成できません") when it cannot be written.
void WriteEditorFile(const std::filesystem::path& path, const editor::TEditorLines& lines);

}  // namespace tarn::ui
