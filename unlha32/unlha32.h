/* libunlha32.so / UNLHA32.DLL: the LHA archive library the updater loads at
 * run time.
 *
 * On Linux texts are UTF-8 bytes (the in-memory form of the system's texts);
 * paths are Windows paths of the Wine prefix named by WINEPREFIX (~/.wine when
 * unset), mapped the way the host layer maps them, or host paths starting with
 * "/". On Windows texts are ANSI texts of code page 932 (the command line in,
 * the message out), paths are the machine's own, and the entries use the
 * standard calling convention of library interfaces (__stdcall), exported
 * under their plain names.
 *
 * Command line of Unlha (the only command understood):
 *
 *   e -jyc -jyo "<archive>" -d1 -c1 "<folder>\"
 *
 * extracts every member below <folder> (the trailing backslash, or "/", marks it
 * as the destination), replacing files that exist and asking nothing. -d1 keeps
 * the members' stored folder names (without it only their last names are used);
 * -jyc, -jyo and -c1 are accepted: the library never asks and always replaces.
 * A quoted argument runs to the next quotation mark, so a backslash before the
 * closing quotation mark is part of the path. Any other command or switch, a
 * missing archive or destination, or further arguments are an error.
 *
 * Members are refused, with the error naming them, when their stored path has
 * a drive letter or colon after its root, a ".." component, a character or
 * device name Windows does not allow in names (< > " | ? *, CON, NUL, COM1,
 * ...), or a name that is neither CP932 nor UTF-8; a root in front of the path
 * is taken off. Names are written as the host's own (UTF-16 on Windows). A
 * symbolic-link member that leads out of the destination is refused, and no
 * member is written through an existing symbolic link or junction that leads
 * out of it.
 * Each file is written under a temporary name and renamed into place only when
 * its length and CRC match, so a damaged member never stays under its name.
 * The whole archive is checked before the first member is written: a refused
 * name, an unknown method, a damaged member or a damaged archive writes
 * nothing, and the result is the code of the first failure. A member that only
 * the destination refuses (a folder link leading out of it) is skipped and the
 * others are written.
 */
#ifndef UNLHA32_UNLHA32_H
#define UNLHA32_UNLHA32_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define UNLHA32_CALL __stdcall
#else
#define UNLHA32_CALL
#endif

/* Results of Unlha, in the 0x8000 range archiver libraries use for errors. */
#define UNLHA_OK 0
#define UNLHA_ERROR_METHOD 0x8009         /* compression method not supported */
#define UNLHA_ERROR_FILE_CRC 0x800C       /* member's CRC or length does not match */
#define UNLHA_ERROR_FILE_OPEN 0x800D      /* member's file cannot be created */
#define UNLHA_ERROR_MAKE_DIRECTORY 0x8012 /* a folder cannot be created */
#define UNLHA_ERROR_CANNOT_WRITE 0x8013   /* member's file cannot be written or renamed */
#define UNLHA_ERROR_HEADER_BROKEN 0x8017  /* archive damaged after its last readable member */
#define UNLHA_ERROR_ARC_FILE_OPEN 0x8018  /* archive cannot be opened or read */
#define UNLHA_ERROR_NOT_ARC_FILE 0x8019   /* no LHA member found */
#define UNLHA_ERROR_COMMAND_NAME 0x801C   /* command line not understood */
#define UNLHA_ERROR_UNSAFE_MEMBER 0x8050  /* member refused: path leaves the destination */
#define UNLHA_ERROR_MEMBER_NAME 0x8051    /* member refused: name neither CP932 nor UTF-8 */
#define UNLHA_ERROR_INTERNAL 0x80FF       /* unexpected failure (out of memory, ...) */

/* Runs one command. hwnd is ignored (nothing is shown). A short message
 * ("3 files extracted", or the failure naming its member) is written to output,
 * NUL-terminated and never past size bytes; size 0 (or a null output) writes
 * nothing. Returns UNLHA_OK or one of the codes above. */
int UNLHA32_CALL Unlha(void* hwnd, const char* cmdLine, char* output, unsigned long size);

/* Version of this library times 100 (1.00 is 100). */
unsigned short UNLHA32_CALL UnlhaGetVersion(void);

/* Nonzero when every member of the archive reads back with matching length and
 * CRC and has a name that extraction accepts. mode is accepted and ignored. */
int UNLHA32_CALL UnlhaCheckArchive(const char* archive, int mode);

#ifdef __cplusplus
}
#endif

#endif /* UNLHA32_UNLHA32_H */
