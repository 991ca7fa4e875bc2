// Paths and application folders: helpers on the runtime's Windows-style path
// texts ("\" separators, optional drive "C:"), the seven named application
// folders through which every definition, data, help and backup file is found,
// and the expansion of %NAME% folder and environment references in path texts.
//
// Every string result is pushed on the TempStack (TempMark/TempKeep
// discipline); an error descriptor given as an argument is returned unchanged.
// Folder values are read from DynStrings group 0 (items 1 command line, 5
// definitions, 6 documents, 7 help, 11 database settings) at the moment of the
// call; nothing is cached. Drive-and-directory values carry no trailing "\".
// The existence tests and folder creation go through platform/fs.
//
// The application-variable expansion (%APNAME% and the other group-0 names)
// belongs to the command-line module; it reaches this module through the
// expander slot (SetPathPlaceholderExpander), which start-up fills.
// Callers: data files and the dictionary, the definition-file reader, the
// evaluator's file built-ins and EvaluateFile, devices, maintenance, start-up.
#pragma once

#include <cstdint>

#include "core/str_desc.h"

// Bits of PathPart.
enum PathPartBit : uint16_t {
  kPathDrive = 1,      // up to and including the first ":"
  kPathDir = 2,        // after the drive up to (not including) the last "\"
  kPathName = 4,       // after the last "\" (or the drive) up to the last "."
  kPathExt = 8,        // after the last "." (one before the last "\" does not count)
  kPathParent = 3,     // drive and directory
  kPathFileName = 12,  // name and extension
};

// File kinds of KindExtension (add kKindLower for the lower-case extension).
enum FileKind : uint16_t {
  kKindBase = 1,   // no extension
  kKindData = 2,   // FD
  kKindIndex = 3,  // DIR
  kKindNdx = 4,    // NDX
  kKindTemp = 5,   // TMP
  kKindText = 6,   // TXT
  kKindLower = 128,
};

// Application folders, 1-based positions in the APPPATH_ list.
enum AppFolderId : uint16_t {
  kAppRunPath = 1,  // APPPATH_RUNPATH: drive and directory of the program file
  kAppDefault = 2,  // APPPATH_DEFAULT: definitions folder, DynStrings (0, 5)
  kAppData = 3,     // APPPATH_DATA: "..\data" from DEFAULT (drive F: or later) or DOCS
  kAppDocs = 4,     // APPPATH_DOCS: (0, 6), else the current folder
  kAppHelp = 5,     // APPPATH_HELP: (0, 7), else "Help" in DEFAULT
  kAppBackup = 6,   // APPPATH_BACKUP: "Backups" in DEFAULT
  kAppBackRel = 7,  // APPPATH_BACKREL: current folder \ Backups \ host \ database
};

// The folder names, comma-separated, in AppFolderId order.
extern const char kAppFolderNames[];
// The environment names recognised in %NAME% references, in lookup order.
extern const char kPathEnvNames[];

// Copy of p with every "/" replaced by "\".
StrDesc PathNormalize(StrDesc p);
// Both normalised, then a + "\" + b; the "\" only when both are non-empty, a
// does not end with "\" and b does not start with "\".
StrDesc PathJoin(StrDesc a, StrDesc b);
// name + "." + ext; the dot only when both are non-empty.
StrDesc PathJoinExt(StrDesc name, StrDesc ext);
// The pieces selected by the PathPartBit bits, in the order drive, directory,
// name, extension. Before the name a "\" is inserted when the result so far
// is non-empty and does not end with ":"; the extension is added with
// PathJoinExt, so alone it is the bare extension.
StrDesc PathPart(StrDesc p, uint16_t parts);
// The extension of a FileKind from ",FD,DIR,NDX,TMP,TXT" (lower case with
// kKindLower added); empty for kind 1 and unknown kinds.
StrDesc KindExtension(uint16_t kind);

// The value of application folder n (AppFolderId); empty for other numbers.
StrDesc AppFolder(uint16_t n);
// PathJoin(AppFolder(n), name).
StrDesc AppFolderFile(StrDesc name, uint16_t n);

// Resolves rel against base: each leading ".." component of rel replaces base
// by its parent (PathPart 3); the rest of rel is joined to base; every "\.\"
// of the result becomes "\". "/" in rel counts as "\".
StrDesc ResolveRelative(StrDesc base, StrDesc rel);

// The first existing file among: name unchanged, then name joined to each
// folder of the comma list `folders` (items trimmed; empty items skipped).
// Empty when none exists or name is empty.
StrDesc FindFileInFolders(StrDesc folders, StrDesc name);

// True when path names an existing folder.
bool FolderExists(StrDesc path);

// Makes the folder path and, when needed, its missing parents. 0 when it
// exists afterwards; 163 (path recorded as detail) for a path with neither
// directory nor name; 65,535 when the folder cannot be made.
Status MakeFolderTree(StrDesc path);

// A fresh file path in the temporary folder (TEMP, else the platform's):
// a unique name without dots, then "." and suffix when suffix is non-empty.
// Any existing file of that name is deleted first.
StrDesc TempFilePath(StrDesc suffix);

// Replaces the %NAME% references of text, first to last: APPPATH_ folder
// names (exact case), then the environment names (exact, then upper-cased),
// then any other name through the placeholder expander (application
// variables; unknown names give nothing). Every occurrence of a reference is
// replaced at once; the expander runs once more on the final text. Two
// adjacent "%" stop the expansion; a text with a single "%" is returned
// unchanged. Expansion stops after 64 rounds, so a value that holds its own
// reference cannot loop. When a reference needs the expander and none is
// installed: the error descriptor 121, with the text as detail.
StrDesc ExpandPathReferences(StrDesc text);

// The application-variable expansion (the command-line module's
// ExpandPlaceholders); null empties the slot.
using PathPlaceholderExpander = StrDesc (*)(StrDesc text);
void SetPathPlaceholderExpander(PathPlaceholderExpander expander);
