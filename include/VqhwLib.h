/**
 * @file VqhwLib.h
 * @brief The 47 functions of VqhwLib, the host library of the toll lane's
 * contactless card reader.
 *
 * One reader on one serial line (115200 baud, 8 data bits, no parity, 1 stop
 * bit). Every function that talks to the reader sends one command frame and
 * waits for one answer; a silent reader is tried three times, 800 ms each.
 * The library serves one call at a time (a second thread's call waits for
 * the first to end; a child of fork() sees the reader closed), allocates
 * nothing that a caller frees, and writes only into the caller's buffers, whose sizes are
 * given with each function (the @ref buffer_sizes macros). A null pointer is
 * never written through.
 *
 * The header is C (C89 and later) and C++. On 32-bit Windows the functions
 * are `__stdcall` and the DLL exports their plain names.
 *
 * Groups: @ref results, @ref buffer_sizes, @ref connection, @ref control,
 * @ref mifare, @ref card_files, @ref apdu, @ref codecs, @ref date_time,
 * @ref inert. The main page gives the calling order of a lane, threads and
 * fork(), and the trace for the field: with the environment variable
 * `VQHW_TRACE` set to a file path or to `stderr`, every frame both ways, each
 * retry, purge and time-out and each operating-system failure is written
 * there with its time.
 */
#ifndef VQHWLIB_H
#define VQHWLIB_H

#include <stdint.h>

#include "VqhwLibVersion.h"

/**
 * @brief The calling convention of every function: `__stdcall` on 32-bit
 * Windows (the callee removes the arguments), the platform's C convention
 * elsewhere.
 */
#if defined(_WIN32) && !defined(_WIN64)
#define VQHW_CALL __stdcall
#else
#define VQHW_CALL
#endif

/**
 * @brief Marks the exported functions: visible symbols of the shared library
 * on Linux; on Windows the module-definition file lists the exports.
 */
#if defined(_WIN32)
#define VQHW_API
#else
#define VQHW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @defgroup results Results and the last status
 * @brief What the functions return, and the status that getvqicerror()
 * describes.
 *
 * Every operation on the reader ends with a status: 0 for success, a
 * negative code for a failure. The functions that drive the reader keep it
 * as the library's *last status* (`lastStatus`), which getvqicerror() turns
 * into its message text, and return a result mapped from it:
 *
 * | Last status | Result |
 * |---|---|
 * | 0 | 0 (#VQHW_OK) |
 * | -101, no card in the antenna field | 1 (#VQHW_NO_CARD) |
 * | -7 port not open, -9 already closed, -10 receive time-out, -11 send time-out, -12 port cannot be opened, -13 port settings, -14 cannot send, -22 answer too short, -23 reader not found | -1 (#VQHW_FAILED) |
 * | any other code | the same code |
 *
 * So -1 stands for "first argument wrong" and for the port and link
 * failures above; getvqicerror() tells them apart. -2 to -5 are the
 * second to fifth argument; -1000 is a reader that did not answer after
 * three attempts, -21 one whose three answers were spoilt on the line
 * (wrong check byte); a non-zero status byte *b* of the reader's answer
 * becomes -356 + *b* (-355 to -101), for example -103 when the card
 * refused the key. The @ref status_codes page lists every code with its
 * text and what to check.
 *
 * Each function says what its last status is afterwards. The codecs, the
 * date and time functions and the functions that do nothing never change
 * it; a few functions that drive the reader leave it alone too, and say so.
 *
 * *Calls from a signal handler.* A function called from a signal handler
 * that interrupted a call of this library in the same thread is refused at
 * once: it returns #VQHW_BUSY_IN_THIS_THREAD (-29), sends nothing and
 * leaves the last status alone, which belongs to the interrupted call; that
 * call goes on and ends as it would have. Of the refused functions only
 * getvqicerror() writes into its buffer: the text of -29 ("the library is
 * busy: this thread's call has not ended", see @ref status_codes).
 * This holds for every function that drives the reader or reads the last
 * status; the codecs, the date and time functions and the functions that
 * do nothing share no state and run as usual. Calls from other threads are
 * never refused: they wait for the running call to end. The test is safe
 * in a signal handler (it reads a flag of the calling thread and takes no
 * lock). Windows has no signals; there no call is ever refused.
 * @{
 */

/** @brief Results of the functions that drive the reader. */
enum vqhw_result {
    VQHW_OK = 0,                 /**< success */
    VQHW_NO_CARD = 1,            /**< no card in the antenna field (last status -101) */
    VQHW_FAILED = -1,            /**< first argument wrong, or a port or link failure: see getvqicerror() */
    VQHW_ALREADY_OPEN = -8,      /**< the port is already open */
    VQHW_CHECK_BYTE_WRONG = -21, /**< the answer was spoilt on the line (wrong check byte), three times */
    VQHW_WRONG_SEQUENCE = -25,   /**< the answer carried the wrong sequence number, three times */
    VQHW_NO_PSAM = -26,          /**< the reader answers, but its PSAM reset failed */
    VQHW_CARD_KIND = -27,        /**< the card is of a kind that SelectCardType() excludes */
    VQHW_ILLEGAL_CHARACTERS = -28, /**< a hex text holds characters that are not hex digits */
    VQHW_BUSY_IN_THIS_THREAD = -29, /**< the library is busy in this thread: called from a signal handler that interrupted one of its calls (see "Calls from a signal handler" above) */
    VQHW_TIMEOUT = -1000         /**< the reader did not answer, three times */
};

/** @} */

/**
 * @defgroup buffer_sizes Buffer sizes
 * @brief The most bytes each output buffer receives, terminating zero
 * included.
 *
 * A buffer of the size named in a function's entry is always large enough;
 * the library never checks a buffer's size, since no function takes one.
 * @{
 */
/** @brief getreaderinfo(): the information line with a two-digit port number. */
#define VQHW_READER_INFO_SIZE 123
/** @brief getvqicerror(): the longest status text (48 bytes of GBK). */
#define VQHW_MESSAGE_SIZE 49
/** @brief opencard(): serial number (4 bytes) and SAK (1 byte); no zero byte. */
#define VQHW_CARD_RECORD_SIZE 5
/** @brief opencard_h(): 10 hex digits (serial number, SAK) and the zero byte. */
#define VQHW_CARD_TEXT_SIZE 11
/** @brief A MIFARE ONE key: 6 bytes. */
#define VQHW_KEY_SIZE 6
/** @brief A MIFARE ONE block or sector trailer: 16 bytes; no zero byte. */
#define VQHW_BLOCK_SIZE 16
/** @brief readblock_h(): 32 hex digits and the zero byte. */
#define VQHW_BLOCK_TEXT_SIZE 33
/** @brief The longest card file: the 48 data bytes of a sector. */
#define VQHW_FILE_SIZE 48
/** @brief readfile_h() of a whole file: 96 hex digits and the zero byte. */
#define VQHW_FILE_TEXT_SIZE 97
/** @brief The reply text of the APDU functions: 245 bytes, the longest answer
 * the library accepts from the reader, as 490 hex digits and the zero byte. */
#define VQHW_REPLY_TEXT_SIZE 491
/** @brief The status word text of PRO_COMMAND_H() and SAM_COMMAND_H(): 4 hex
 * digits and the zero byte. */
#define VQHW_STATUS_WORD_TEXT_SIZE 5
/** @brief hextobin() and hextoascii(): at most 127 decoded bytes and a zero
 * byte. */
#define VQHW_DECODED_SIZE 128
/** @brief get_time() and ltimetostime(): at most 14 digits and the zero byte. */
#define VQHW_DATE_TIME_SIZE 15
/** @} */

/**
 * @defgroup connection Reader connection
 * @brief Opening the reader, describing it, closing it, and the text of the
 * last status.
 *
 * Port number n names what the environment variable `VQHW_COM<n>` holds
 * when it is set, else `COM<n>` on Windows and `/dev/ttyS<n-1>` on Linux.
 * Port numbers 1 to 99 can be opened. The variable holds a device
 * (`VQHW_COM1=/dev/ttyUSB0`, `VQHW_COM1=\\.\COM12`) or a serial device
 * server on the network:
 * - `socket://HOST:PORT`: raw TCP, the reader's bytes as they are;
 * - `rfc2217://HOST:PORT`: telnet with the COM-PORT option (RFC 2217),
 *   which also carries the line settings (115200 8N1, no flow control) and,
 *   after a failed attempt, asks the server to purge its buffers.
 *
 * HOST is an IPv4 address, an IPv6 address in brackets (`[::1]`) or a name.
 * Connecting takes at most 3 s; a port that cannot be reached, a scheme the
 * library does not know or a malformed host or port fail as a device that
 * cannot be opened, and `VQHW_TRACE` tells why. A connection that breaks
 * (the server restarts, a cable is pulled) fails the command under way like
 * a reader that does not answer, and the next command connects again by
 * itself: the lane need not reopen. Neither scheme carries authentication or
 * encryption: device servers belong on the lane's own network.
 *
 * A device is opened exclusively: a second opener, in this process or
 * another, is refused; over the network, the server decides.
 * @{
 */

/**
 * @brief Opens the reader on a serial port and confirms it with a probe and
 * a PSAM reset.
 *
 * An open reader is closed first. After a pause of 100 ms the port is
 * opened at 115200 baud 8N1; after another 100 ms the reader must answer
 * the probe (command 0x70), then reset its PSAM (command 0x73). Only then is
 * the reader open; on any failure the port is closed again. Takes at least
 * 200 ms; about 2.6 s when nothing answers. The probe carries the sequence
 * number where the process's last command left it (see close_reader()).
 *
 * @param port    serial port number, 1 to 99 (1 = COM1); see @ref connection
 *                for the device or network port it names.
 * @param ignored any value; not used.
 * @return 0 when the reader is open; -1 when the port cannot be opened or
 *         no reader answers the probe; -26 (#VQHW_NO_PSAM) when the reader
 *         answers but its PSAM reset fails.
 * @par Last status
 *      0; -12 port cannot be opened (no such device, in use, port number
 *      outside 1..99); -23 no answer to the probe, or a non-zero status
 *      byte; -26 PSAM reset failed. The port number is remembered for
 *      getreaderinfo() whether or not the open succeeded.
 */
VQHW_API int32_t VQHW_CALL open_reader(int32_t port, int32_t ignored);

/**
 * @brief Closes the reader: stops the receive thread and releases the port.
 *
 * Sends nothing to the reader. Unloading the library does the same for a
 * reader left open. The sequence number of the command frames (0 to 7)
 * carries on: the next open_reader() numbers its probe where the last
 * command left off, not from 0.
 *
 * @return 0 when the reader was open; -1 when it was not.
 * @par Last status
 *      0, or -9 (port already closed) when the reader was not open.
 */
VQHW_API int32_t VQHW_CALL close_reader(void);

/**
 * @brief Writes a line of information about the reader: maker, model, date
 * of manufacture, serial port and line speed.
 *
 * With the reader open the line names its port and speed and the reader
 * stays open. With the reader closed the function looks for a reader: it
 * tries COM1 as open_reader() does, then COM2 if COM1 fails; a reader found
 * is described and closed again, so the reader is closed afterwards. When
 * neither port has a reader the text says so (no reader found on COM1 or
 * COM2, 24 bytes).
 *
 * Both texts are GBK; the main page shows them, and how to display them on
 * a UTF-8 system. The line ends in the port and the speed, for example
 * "...:COM1  ...:115200".
 *
 * @param[out] text the line and its zero byte; #VQHW_READER_INFO_SIZE (123)
 *                  bytes. Nothing is done when it is null.
 * @return 0; -29 only from a signal handler (see @ref results).
 * @par Last status
 *      Unchanged when the reader is open. Otherwise the status of the last
 *      port tried, as for open_reader(): 0 when a reader was found.
 */
VQHW_API int32_t VQHW_CALL getreaderinfo(char *text);

/**
 * @brief Copies the message text of the last status.
 *
 * The texts are Chinese, in GBK (code page 936), handed out byte for byte;
 * @ref status_codes lists them with their meaning. The text of -27 names
 * the card kind that SelectCardType() set. A code without a text of its own
 * (-25, -1000, most reader status bytes) gives the text "unknown kind of
 * error". Right after loading the text is that of 0, "executed
 * successfully".
 *
 * @param[out] text the message and its zero byte; #VQHW_MESSAGE_SIZE (49)
 *                  bytes. Nothing is done when it is null.
 * @return 0; -29 only from a signal handler (see @ref results), with the
 *         text of -29.
 * @par Last status
 *      Unchanged: call it right after the function whose failure you show.
 */
VQHW_API int32_t VQHW_CALL getvqicerror(char *text);

/** @} */

/**
 * @defgroup control Reader control
 * @brief The reader's own commands: field, PSAM and CPU card resets, the
 * reader's lights and sound, and which card kinds are accepted.
 *
 * Each of these (but SelectCardType()) sends one command; with the reader
 * closed it returns -1 and the last status is -7 (port not open).
 * @{
 */

/**
 * @brief Sets which contactless card kinds the card functions accept.
 *
 * The setting holds until the library is unloaded, across closing and
 * reopening the reader; after loading it is '2'. After each activation the
 * library knows the kind of the card (a MIFARE ONE card answers SAK 0x08,
 * any other card counts as a CPU card). With '0' or '1', the card file
 * functions and pro_command_h(), PRO_COMMAND_H() and SAM_COMMAND_H() fail
 * with -27 when the card last activated is of the other kind, or when no
 * card has been activated since loading. Activation itself always succeeds.
 * No frame is sent and the reader need not be open.
 *
 * @param kindCharacter a character in the low byte: '0' MIFARE ONE cards
 *        only, '1' CPU (MIFARE PRO) cards only, '2' both. The higher bytes
 *        are ignored.
 * @return 0, or -1 for another character (the setting is unchanged). This
 *         result is not mapped.
 * @par Last status
 *      The result, 0 or -1.
 */
VQHW_API int32_t VQHW_CALL SelectCardType(int32_t kindCharacter);

/**
 * @brief Drives the reader's man-machine interface (lights, sound,
 * display): command 0x74 with the three values as one byte each.
 *
 * What each value does is the reader's; the library checks the ranges
 * only, as whole 32-bit numbers (0x180 is refused, not cut to 0x80).
 *
 * @param first  0, 0x80, 0x81 or 0x82.
 * @param second 0, 0x80, 0x81, 0x82 or 0x83.
 * @param third  0, 0x80, 0x81, 0x82 or 0x83.
 * @return mapped last status (see @ref results): 0, or -1, -2, -3 for the
 *         argument out of range (nothing is sent).
 * @par Last status
 *      The status of the command, or -1, -2, -3 for a refused argument.
 */
VQHW_API int32_t VQHW_CALL set_mmi(int32_t first, int32_t second, int32_t third);

/**
 * @brief Resets the radio field (command 0x72): every card in it loses
 * power, its selection and its authentication.
 *
 * @return mapped last status (see @ref results).
 * @par Last status
 *      The status of the command.
 * @sa closecard(), which does the same and always returns 0.
 */
VQHW_API int32_t VQHW_CALL RF_reset_h(void);

/**
 * @brief Resets the PSAM in the reader's slot (command 0x73).
 *
 * open_reader() does it already; call it again to start the PSAM afresh.
 *
 * @return mapped last status (see @ref results); a missing or silent PSAM
 *         gives a reader status byte, for example -161 (PSAM time-out).
 * @par Last status
 *      The status of the command.
 */
VQHW_API int32_t VQHW_CALL SAM_reset_h(void);

/**
 * @brief Resets the CPU user card activated in the field (command 0x76).
 *
 * Activate the card with opencard() or opencard_h() first.
 *
 * @return mapped last status (see @ref results), for example 1 when no
 *         card is activated in the field.
 * @par Last status
 *      The status of the command.
 */
VQHW_API int32_t VQHW_CALL PRO_reset_h(void);

/**
 * @brief Ends the work with the current card: resets the radio field
 * (command 0x72), then pauses 100 ms.
 *
 * @return 0, even with the reader closed; -29 only from a signal handler
 *         (see @ref results).
 * @par Last status
 *      The status of the field reset (-7 with the reader closed): only it
 *      tells whether the reset went through.
 */
VQHW_API int32_t VQHW_CALL closecard(void);

/** @} */

/**
 * @defgroup mifare MIFARE ONE cards: activation, keys and blocks
 * @brief Activating a card in the field, loading keys and authenticating a
 * sector, reading and writing blocks and sector trailers.
 *
 * A MIFARE ONE (1K) card has 16 sectors (0 to 15) of 4 blocks of 16 bytes:
 * blocks 0 to 63, blocks 4n to 4n+3 in sector n. Block 4n+3 is the trailer
 * of sector n: key A (6 bytes), the access bits (4 bytes), key B (6 bytes).
 * Block 0 holds the manufacturer's data and cannot be written.
 *
 * The order: opencard() or opencard_h(); loadkey() for a sector; then
 * readblock(), writeblock() on blocks 4n to 4n+2 of that sector or
 * writekey() for its trailer; loadkey() again before turning to another
 * sector; closecard() at the end. The library keeps no key and no
 * authentication: the reader and the card do, and refuse a block of a
 * sector that was not authenticated (-108).
 *
 * The first argument of the block and trailer functions is accepted and
 * ignored. With the reader closed the functions of this group return -1
 * (last status -7, unless said otherwise).
 * @{
 */

/**
 * @brief Activates the card in the antenna field and gives its serial
 * number and SAK.
 *
 * Sends command 0x80 (find, anticollision, select); when that fails, resets
 * the field (0x72) and sends 0x80 once more. The card found becomes the
 * current card, whose serial number loadkey() authenticates. Takes up to
 * about 7.2 s with a silent reader. Any card kind is activated; its SAK
 * tells the kind (0x08: MIFARE ONE).
 *
 * @param[out] record the serial number (4 bytes, in the order the reader
 *             sends them), then the SAK (1 byte); #VQHW_CARD_RECORD_SIZE (5)
 *             bytes, no zero byte. Untouched on failure.
 * @return 0; 1 (#VQHW_NO_CARD) when no card answered both attempts; -1 when
 *         the reader is closed, the reader did not answer, or @p record is
 *         null.
 * @par Last status
 *      0; -101 when both attempts failed, whatever the cause, except -10
 *      (receive time-out) when the second attempt got no answer; -1 for a
 *      null @p record. Unchanged when the reader is closed.
 */
VQHW_API int32_t VQHW_CALL opencard(unsigned char *record);

/**
 * @brief As opencard(), with the serial number and SAK as hex text.
 *
 * @param[out] text 10 upper-case hex digits (serial number, then SAK) and
 *             the zero byte, for example "3A5F0C2108";
 *             #VQHW_CARD_TEXT_SIZE (11) bytes. Untouched on failure.
 * @return as opencard().
 * @par Last status
 *      As opencard().
 */
VQHW_API int32_t VQHW_CALL opencard_h(char *text);

/**
 * @brief Loads a key into the reader for a sector, then authenticates the
 * current card's sector with it.
 *
 * Sends command 0x56 (key type code 0 or 4, sector, key), then 0x50 with the
 * serial number of the card last activated by opencard(), opencard_h() or
 * the retry of readfile() and writefile(), for block 4 x sector + 1.
 * Authenticate each sector before its blocks are read or written.
 *
 * @param keyType 0 for key A, 1 for key B.
 * @param sector  0 to 15.
 * @param[in] key the key, #VQHW_KEY_SIZE (6) bytes.
 * @return mapped last status (see @ref results): 0; -1 @p keyType not 0
 *         or 1; -2 @p sector outside 0..15; -3 @p key null (nothing is sent
 *         for these three); 1 when the card has left the field; -103 when
 *         the card refuses the key; -106 when the current card is not the
 *         one in the field.
 * @par Last status
 *      The status of the key load, or of the authentication once the key
 *      is loaded.
 */
VQHW_API int32_t VQHW_CALL loadkey(int32_t keyType, int32_t sector, const unsigned char *key);

/**
 * @brief As loadkey(), with the key as hex text.
 *
 * @param keyType 0 for key A, 1 for key B.
 * @param sector  0 to 15.
 * @param[in] key 12 hex digits, for example "A0A1A2A3A4A5"; a shorter text
 *                is completed with zero bytes.
 * @return as loadkey().
 * @par Last status
 *      As loadkey().
 */
VQHW_API int32_t VQHW_CALL loadkey_h(int32_t keyType, int32_t sector, const char *key);

/**
 * @brief Reads one block of the card (command 0x51).
 *
 * @param ignored   any value.
 * @param block     0 to 63, in a sector authenticated by loadkey().
 * @param[out] data the 16 bytes of the block, #VQHW_BLOCK_SIZE, no zero
 *                  byte. Once @p block is accepted its first 4 bytes are
 *                  set to zero; the other 12 are untouched on failure.
 * @return mapped last status (see @ref results): 0; -1 @p block outside
 *         0..63; -3 @p data null; 1 no card; -108 sector not authenticated.
 * @par Last status
 *      The status of the command, or of the refused argument.
 */
VQHW_API int32_t VQHW_CALL readblock(int32_t ignored, int32_t block, unsigned char *data);

/**
 * @brief As readblock(), with the block as hex text; keeps the last status.
 *
 * @param ignored   any value.
 * @param block     0 to 63.
 * @param[out] text 32 upper-case hex digits and the zero byte;
 *                  #VQHW_BLOCK_TEXT_SIZE (33) bytes. Untouched on failure.
 * @return as readblock(): -1 @p block outside 0..63, -3 @p text null.
 * @par Last status
 *      Unchanged, even on failure: getvqicerror() then describes the
 *      function called before. Read the result instead.
 */
VQHW_API int32_t VQHW_CALL readblock_h(int32_t ignored, int32_t block, char *text);

/**
 * @brief Writes one block of the card (command 0x52).
 *
 * Any block 0 to 63 is sent, sector trailers too: writekey() is the
 * function for those.
 *
 * @param ignored  any value.
 * @param block    0 to 63, in a sector authenticated by loadkey().
 * @param[in] data the 16 bytes to write, #VQHW_BLOCK_SIZE.
 * @return mapped last status (see @ref results): 0; -2 @p block outside
 *         0..63; -3 @p data null; 1 no card; -108 sector not authenticated;
 *         -115 the access bits forbid it.
 * @par Last status
 *      The status of the command, or of the refused argument.
 */
VQHW_API int32_t VQHW_CALL writeblock(int32_t ignored, int32_t block, const unsigned char *data);

/**
 * @brief As writeblock(), with the data as hex text; keeps the last status.
 *
 * @param ignored  any value.
 * @param block    0 to 63.
 * @param[in] text 32 hex digits; a shorter text is completed with zero
 *                 bytes, digits after the 32nd are not written.
 * @return as writeblock(): -2 @p block outside 0..63, -3 @p text null.
 * @par Last status
 *      Unchanged, even on failure. Read the result instead.
 */
VQHW_API int32_t VQHW_CALL writeblock_h(int32_t ignored, int32_t block, const char *text);

/**
 * @brief Writes the trailer of a sector, block 4 x sector + 3: key A, the
 * access bits, key B.
 *
 * The card changes only what the access bits let the authenticating key
 * change. Access bits that do not agree with their inverted copy lock the
 * sector for good on a real card: check them before writing.
 *
 * @param ignored     any value.
 * @param sector      0 to 15, authenticated by loadkey().
 * @param[in] trailer key A (6 bytes), access bits (4 bytes), key B
 *                    (6 bytes): #VQHW_BLOCK_SIZE bytes.
 * @return mapped last status (see @ref results): 0; -2 @p sector outside
 *         0..15; -3 @p trailer null; 1 no card; -108 not authenticated.
 * @par Last status
 *      The status of the command, or of the refused argument.
 */
VQHW_API int32_t VQHW_CALL writekey(int32_t ignored, int32_t sector, const unsigned char *trailer);

/**
 * @brief As writekey(), with the trailer as hex text.
 *
 * @param ignored  any value.
 * @param sector   0 to 15.
 * @param[in] text 32 hex digits; a shorter text is completed with zero
 *                 bytes (24 digits write those 12 bytes and 4 zero bytes).
 * @return as writekey().
 * @par Last status
 *      As writekey().
 */
VQHW_API int32_t VQHW_CALL writekey_h(int32_t ignored, int32_t sector, const char *text);

/** @} */

/**
 * @defgroup card_files Card files
 * @brief Reading and writing a byte range of a card file in one command:
 * the reader authenticates the file with a key it holds.
 *
 * A file is at most 48 bytes (the three data blocks of a sector), addressed
 * by an offset and a length with offset + length at most 48. Two hex texts
 * name it:
 * - the file identifier, 4 hex digits: the file number is its second byte
 *   ("0005" names file 5; a text of 2 digits names file 0);
 * - the key identifier, 2 hex digits: the key selector is the high half of
 *   its byte ("A0" names key selector 10).
 *
 * What a file number and a key selector name on the card is the reader's
 * business. The virtual reader `vqhw-sim`, for one, maps file n to sector n
 * and key selector k to the key A that loadkey() loaded for sector k.
 *
 * These functions test the reader first: with the reader closed they
 * return -1 and leave the last status as it was. When SelectCardType()
 * excludes the kind of the card last activated, they fail with -27.
 * @{
 */

/**
 * @brief Reads a byte range of a card file (command 0x81), trying once
 * more after any failure.
 *
 * When the read fails, whatever the cause (a refused argument too), the
 * function pauses 100 ms, re-activates the card in the field (0x80; the
 * card found becomes the current card) and reads again; the second read
 * decides. A failure therefore takes at least 100 ms longer.
 *
 * @param[in] fileId file identifier, hex text (see @ref card_files); its
 *                   file number must be 0 to 63.
 * @param[in] keyId  key identifier, hex text.
 * @param offset     0 to 48.
 * @param length     0 to 48 - @p offset.
 * @param[out] data  @p length bytes of the file, no zero byte; the buffer
 *                   needs @p length bytes and at least 4, up to
 *                   #VQHW_FILE_SIZE. Its first 4 bytes are set to zero
 *                   first.
 * @return mapped last status (see @ref results): 0; -1 file number outside
 *         0..63, or @p fileId null; -2 @p keyId null; -3 @p offset outside
 *         0..48; -4 @p length outside 0..48 - @p offset; -5 @p data null;
 *         -27 card kind excluded (the data are copied all the same); 1 no
 *         card.
 * @par Last status
 *      The status of the last step: the second read, or the re-activation
 *      when it failed. A null pointer is refused at once, without the
 *      retry.
 */
VQHW_API int32_t VQHW_CALL readfile(const char *fileId, const char *keyId, int32_t offset,
                                    int32_t length, unsigned char *data);

/**
 * @brief As readfile(), with the data as hex text, and without the retry.
 *
 * @param[in] fileId file identifier, hex text.
 * @param[in] keyId  key identifier, hex text.
 * @param offset     0 to 48.
 * @param length     0 to 48 - @p offset.
 * @param[out] text  2 x @p length upper-case hex digits and the zero byte;
 *                   at least 4 bytes, #VQHW_FILE_TEXT_SIZE (97) for any
 *                   length. Its first 4 bytes are set to zero first, so a
 *                   failure or a length of 0 leaves the empty text.
 * @return as readfile(): -5 @p text null.
 * @par Last status
 *      The status of the read.
 */
VQHW_API int32_t VQHW_CALL readfile_h(const char *fileId, const char *keyId, int32_t offset,
                                      int32_t length, char *text);

/**
 * @brief Writes a byte range of a card file: command 0x83 (prepare), then
 * 0x82 (write), trying both once more after any failure.
 *
 * When either command fails the function pauses 100 ms, re-activates the
 * card in the field (0x80; the card found becomes the current card) and
 * sends 0x83 and 0x82 again; the first failure of the retry decides.
 *
 * @param[in] fileId file identifier, hex text.
 * @param[in] keyId  key identifier, hex text.
 * @param offset     0 to 48 - @p length; the reader refuses a range that
 *                   does not fit the file. It is sent as one byte: an
 *                   offset outside 0..255 is refused with -3 (before 0.2.0
 *                   only its low byte was sent, so 256 wrote at offset 0).
 * @param length     0 to 48 for a file, 247 at most (one frame).
 * @param[in] data   the @p length bytes to write.
 * @return mapped last status (see @ref results): 0; -1 @p fileId null; -2
 *         @p keyId null; -3 @p offset outside 0..255; -4 @p length outside
 *         0..247; -5 @p data null; -27
 *         card kind excluded; 1 no card.
 * @par Last status
 *      The status of the step that decided. A null pointer is refused at
 *      once, without the retry.
 */
VQHW_API int32_t VQHW_CALL writefile(const char *fileId, const char *keyId, int32_t offset,
                                     int32_t length, const unsigned char *data);

/**
 * @brief As writefile(), with the data as hex text, and without the retry.
 *
 * The prepare command 0x83 goes first; then the text is decoded, and a text
 * with characters other than hex digits is refused before 0x82 is sent.
 * The check: the number of bytes decoded must be half the text's length
 * in characters, rounded down. So write the digits without separators; one
 * odd digit at the end (dropped) or a single blank slips through. A text
 * longer than 255 characters is refused the same way; it is read no further
 * than its 256th character.
 *
 * @param[in] fileId file identifier, hex text.
 * @param[in] keyId  key identifier, hex text.
 * @param offset     as writefile().
 * @param length     as writefile(); the number of bytes written, whatever
 *                   the text holds (zero bytes follow a shorter text).
 * @param[in] text   2 x @p length hex digits.
 * @return as writefile(); -28 (#VQHW_ILLEGAL_CHARACTERS) when @p text holds
 *         characters that are not hex digits.
 * @par Last status
 *      The status of the step that failed, or 0.
 */
VQHW_API int32_t VQHW_CALL writefile_h(const char *fileId, const char *keyId, int32_t offset,
                                       int32_t length, const char *text);

/** @} */

/**
 * @defgroup apdu CPU user card and PSAM APDUs
 * @brief Command APDUs (ISO/IEC 7816-4) to the contactless CPU user card
 * (`pro`, command 0x60) and to the PSAM in the reader (`sam`, 0x61), as hex
 * text.
 *
 * The APDU goes to the card unchanged (CLA INS P1 P2, then Lc and data
 * and/or Le as the command needs) and the card's answer comes back
 * unchanged: response data, then the status word SW1 SW2. The library
 * never acts on SW1 SW2: a status word such as 6A82 or 9401 is a success
 * (result 0) with the status word in the output, and there is no automatic
 * GET RESPONSE after 61xx. The four functions differ in how they write the
 * answer:
 *
 * | Function | Output |
 * |---|---|
 * | pro_command_h() | one text: SW1 SW2 first, then the data ("9000" + data) |
 * | PRO_COMMAND_H() | the data in one text, SW1 SW2 as 4 digits in another |
 * | sam_command_h() | one text: the data, then SW1 SW2 |
 * | SAM_COMMAND_H() | as PRO_COMMAND_H() |
 *
 * The APDU text is read as every hex text of the library (see @ref codecs):
 * at most 255 characters, so at most 127 APDU bytes; a text that goes on
 * past its 255th character is refused with -1, and is read no further than
 * its 256th, so it need not end within the memory after that. An answer is at most 245
 * bytes, so #VQHW_REPLY_TEXT_SIZE (491) bytes hold any reply text. Once the
 * reader is found open and the arguments are accepted, the first 4 bytes of
 * every output are set to zero, so a failure of the exchange leaves empty
 * texts. An answer without its status word (fewer than 2 bytes) is a
 * communication error: result -1, last status -22, empty texts.
 *
 * Activate the CPU card with opencard() or opencard_h() before its APDUs;
 * the PSAM was reset by open_reader(). With the card-kind setting '0' or
 * '1' (see SelectCardType()), pro_command_h(), PRO_COMMAND_H() and
 * SAM_COMMAND_H() fail with -27 when the card last activated is of the
 * other kind, after the card has carried the command out; sam_command_h()
 * does not look at the setting.
 * @{
 */

/**
 * @brief Sends an APDU to the CPU user card; the reply text gives SW1 SW2
 * first, then the response data.
 *
 * For GET CHALLENGE "0084000004" answered with 4 random bytes and 90 00,
 * the reply text is "9000" followed by the 8 digits of the random bytes.
 *
 * @param[in] apdu   the command APDU as hex text.
 * @param[out] reply SW1 SW2, then the response data, as 2 x (answer bytes)
 *                   upper-case hex digits and the zero byte;
 *                   #VQHW_REPLY_TEXT_SIZE (491) bytes hold any.
 * @return mapped last status (see @ref results): 0 with any status word;
 *         -1 reader closed, @p apdu null or too long, or an answer shorter
 *         than 2 bytes (last status -22); -2 @p reply null;
 *         -27 card kind excluded; 1 no card.
 * @par Last status
 *      The status of the exchange (-7 when the reader is closed).
 */
VQHW_API int32_t VQHW_CALL pro_command_h(const char *apdu, char *reply);

/**
 * @brief Sends an APDU to the CPU user card; the response data and the
 * status word come back as two texts.
 *
 * @param[in] apdu        the command APDU as hex text.
 * @param[out] data       the response data (the answer without its last two
 *                        bytes) as upper-case hex digits and the zero byte;
 *                        #VQHW_REPLY_TEXT_SIZE bytes hold any. Empty when
 *                        the card answers the status word alone.
 * @param[out] statusWord SW1 SW2 as 4 upper-case hex digits and the zero
 *                        byte, for example "9000";
 *                        #VQHW_STATUS_WORD_TEXT_SIZE (5) bytes.
 * @return mapped last status (see @ref results): 0 with any status word;
 *         -1 reader closed, @p apdu null or too long, or an answer
 *         shorter than 2 bytes, which holds no status word; -2 @p data null; -3
 *         @p statusWord null; -27 card kind excluded; 1 no card.
 * @par Last status
 *      The status of the exchange: -7 when the reader is closed, -22 for an
 *      answer shorter than 2 bytes.
 */
VQHW_API int32_t VQHW_CALL PRO_COMMAND_H(const char *apdu, char *data, char *statusWord);

/**
 * @brief Sends an APDU to the PSAM; the reply text gives the response data,
 * then SW1 SW2. Applies no card-kind setting.
 *
 * @param[in] apdu   the command APDU as hex text.
 * @param[out] reply the whole answer, response data then SW1 SW2, as
 *                   upper-case hex digits and the zero byte;
 *                   #VQHW_REPLY_TEXT_SIZE (491) bytes hold any.
 * @return mapped last status (see @ref results): 0 with any status word;
 *         -1 reader closed, @p apdu null or too long, or an answer shorter
 *         than 2 bytes (last status -22); -2 @p reply null;
 *         a PSAM status byte, for example -161 (PSAM time-out).
 * @par Last status
 *      The status of the exchange (-7 when the reader is closed).
 */
VQHW_API int32_t VQHW_CALL sam_command_h(const char *apdu, char *reply);

/**
 * @brief Sends an APDU to the PSAM; the response data and the status word
 * come back as two texts, as in PRO_COMMAND_H().
 *
 * A PSAM in contact mode may answer 61xx: fetch the data with GET RESPONSE
 * ("00C00000xx") as the next APDU.
 *
 * @param[in] apdu        the command APDU as hex text.
 * @param[out] data       the response data as hex text;
 *                        #VQHW_REPLY_TEXT_SIZE bytes hold any.
 * @param[out] statusWord SW1 SW2 as 4 hex digits and the zero byte;
 *                        #VQHW_STATUS_WORD_TEXT_SIZE (5) bytes.
 * @return as PRO_COMMAND_H(); -27 too: this PSAM exchange does apply the
 *         card-kind setting, to the card last activated in the field.
 * @par Last status
 *      As PRO_COMMAND_H().
 */
VQHW_API int32_t VQHW_CALL SAM_COMMAND_H(const char *apdu, char *data, char *statusWord);

/** @} */

/**
 * @defgroup codecs Hex and numeric codecs
 * @brief Hex text to bytes and back, and three small conversions. They need
 * no reader, return their value directly and leave the last status alone.
 *
 * Hex text, as every `_h` function reads it: a zero-terminated text; "0"-"9",
 * "a"-"f" and "A"-"F" are digits, two digits make a byte (high half first);
 * every other character is skipped without breaking a pair ("12 34" and
 * "1234" read alike); a last digit without a partner is dropped; no prefix
 * is known ("0x12" reads as the byte 01). At most the first 255 characters
 * are read, so at most 127 bytes. Hex text written by the library has two
 * upper-case digits per byte, no separators, and a zero byte.
 * @{
 */

/**
 * @brief Decodes hex text into bytes and counts them.
 *
 * @param[in] text   hex text (see @ref codecs).
 * @param[out] bytes the decoded bytes followed by one zero byte:
 *                   count + 1 bytes, #VQHW_DECODED_SIZE (128) at most.
 * @param[out] count the number of decoded bytes; may be null.
 * @return the number of decoded bytes, 0 to 127. With @p text or @p bytes
 *         null nothing is decoded or written, and 0 is returned (and stored
 *         in @p count).
 */
VQHW_API int32_t VQHW_CALL hextobin(const char *text, unsigned char *bytes, int32_t *count);

/**
 * @brief The value of one hex digit.
 *
 * @param character a character in the low byte; the higher bytes are
 *                  ignored.
 * @return 0 to 15 for "0"-"9", "a"-"f", "A"-"F"; 0 for any other character.
 */
VQHW_API int32_t VQHW_CALL hextodec(int32_t character);

/**
 * @brief Decodes hex text into bytes, as hextobin() without the count.
 *
 * @param[in] text   hex text.
 * @param[out] bytes the decoded bytes and one zero byte;
 *                   #VQHW_DECODED_SIZE (128) bytes at most.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL hextoascii(const char *text, unsigned char *bytes);

/**
 * @brief Encodes bytes as hex text.
 *
 * @param[in] bytes the bytes to encode.
 * @param length    how many; 0 or less writes nothing, not even the zero
 *                  byte.
 * @param[out] text 2 x @p length upper-case hex digits and the zero byte.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL asciitohex(const unsigned char *bytes, int32_t length, char *text);

/**
 * @brief Stores 256 x the sum of four bytes, each read as a signed byte
 * (-128 to 127).
 *
 * This is not a byte-order conversion: "1234" gives 51712 (0xCA00) and the
 * bytes FF FF FF FF give -1024. Lane software relies on these values, so
 * they stay as they always were.
 *
 * @param[in] bytes  four bytes; a zero byte among them does not end them.
 * @param[out] value the value.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL asciitolong(const unsigned char *bytes, int32_t *value);

/**
 * @brief Writes four bytes of a value: byte i is the low byte of the value
 * shifted right (arithmetically) by 2 x i bits.
 *
 * Two bits per byte, not eight: 0x12345678 gives 78 9E 67 59, -1 gives
 * FF FF FF FF. Lane software relies on these bytes.
 *
 * @param value      any value.
 * @param[out] bytes four bytes, no zero byte.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL longtoascii(int32_t value, unsigned char *bytes);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL hextoulong(const void *ignored1, void *ignored2);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL ulongtohex(const void *ignored1, void *ignored2);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL hextouint(const void *ignored1, void *ignored2);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL uinttohex(const void *ignored1, void *ignored2);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @param ignored3 not used.
 * @param ignored4 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL straxorstrb(const void *ignored1, const void *ignored2,
                                       const void *ignored3, void *ignored4);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @param ignored3 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL straxorstrb_h(const void *ignored1, const void *ignored2,
                                         void *ignored3);

/** @} */

/**
 * @defgroup date_time Date and time texts
 * @brief Calendar time (seconds since 1970-01-01 00:00:00 UTC, signed
 * 32-bit) to and from texts of a local date and time. They need no reader,
 * always return 0 and leave the last status alone.
 *
 * The decimal text gives year, month (1-12), day, hour, minute and second
 * as plain numbers run together, without leading zeros or separators:
 * 2006-02-14 09:05:03 gives "2006214953", 2006-12-31 23:59:59 gives
 * "20061231235959". It is 9 to 14 characters long and does not tell its
 * fields apart (2006-11-01 and 2006-01-11 give the same text).
 * @{
 */

/**
 * @brief Reads a local date and time written as 14 hex digits and stores
 * its calendar time.
 *
 * The digits are the year as two bytes, high byte first, then month, day,
 * hour, minute and second as one byte each: "07D6020E090503" is 2006-02-14
 * 09:05:03 (the 14th day is 0E, not 14). Fields missing at the end of a
 * shorter text count as 0. The local time zone decides the value, daylight
 * saving included, so the value read back by ltimetostime() gives the same
 * date and time.
 *
 * @param[in] hexDateTime the 14 hex digits.
 * @param[out] value      seconds since 1970-01-01 00:00:00 UTC; -1 when a
 *                        field is out of range (month 1-12, a day the month
 *                        has, hour 0-23, minute and second 0-59, year
 *                        1901-2038) or the moment has no 32-bit value.
 *                        Nothing is stored when either pointer is null.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL stimetoltime(const char *hexDateTime, int32_t *value);

/**
 * @brief Writes the local date and time of a calendar-time value as decimal
 * text (see @ref date_time).
 *
 * @param value     seconds since 1970-01-01 00:00:00 UTC; 0 gives the local
 *                  time of that moment ("197011000" in UTC, "1970118000"
 *                  eight hours east of it).
 * @param[out] text the text and its zero byte; #VQHW_DATE_TIME_SIZE (15)
 *                  bytes. The empty text when the system cannot break the
 *                  value down (on Windows, a negative value).
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL ltimetostime(int32_t value, char *text);

/**
 * @brief Writes the current local date and time as decimal text (see
 * @ref date_time).
 *
 * @param[out] text the text and its zero byte; #VQHW_DATE_TIME_SIZE (15)
 *                  bytes. The empty text when the system clock cannot be
 *                  read.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL get_time(char *text);

/** @} */

/**
 * @defgroup inert Functions that do nothing
 * @brief Kept for lane software that calls them: they ignore their
 * arguments, change nothing and return 0, with the reader open or closed.
 * The line speed is fixed at 115200 baud.
 * @{
 */

/**
 * @brief Does nothing: the line speed stays 115200 baud.
 * @param ignored not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL changebaudrate(int32_t ignored);

/**
 * @brief Does nothing; select an application with an APDU instead
 * (pro_command_h()).
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL selectadf(void);

/**
 * @brief Does nothing.
 * @param ignored1 not used.
 * @param ignored2 not used.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL enterdebug(int32_t ignored1, int32_t ignored2);

/**
 * @brief Does nothing; closecard() ends the work with any card.
 * @return 0, always.
 */
VQHW_API int32_t VQHW_CALL close_pro(void);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* VQHWLIB_H */
