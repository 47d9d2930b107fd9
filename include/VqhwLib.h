/*
 * VqhwLib: host library of the toll-lane contactless card reader.
 *
 * One reader on one serial line (115200 baud, 8N1). Every function that
 * talks to the reader sends one command frame and waits for one answer.
 * The library serves one calling thread at a time; callers own every buffer.
 *
 * Results of the functions that drive the reader (vqhw_result):
 *    0  success
 *    1  no card in the antenna field
 *   -1  port not open, already closed, cannot be opened or set up, cannot
 *       send, reader not found, or "first argument wrong"
 *   other negative values: the reader status itself, e.g. -2..-5 argument
 *       errors, -8 already open, -25 answer with a wrong sequence number,
 *       -26 reader without PSAM, -27 card kind not accepted, -28 illegal
 *       characters in a hex text, -1000 time-out, -355..-102 card or
 *       reader status bytes.
 * getvqicerror() gives the message (GBK text) of the last reader status.
 *
 * Hex texts ("_h" functions) are zero-terminated, two digits per byte,
 * read in either case with other characters skipped, written upper case.
 *
 * On Linux, port n is the device named by the environment variable
 * VQHW_COM<n> when it is set, else /dev/ttyS<n-1>. On Windows it is COM<n>.
 */
#ifndef VQHWLIB_H
#define VQHWLIB_H

#include <stdint.h>

#include "VqhwLibVersion.h"

#if defined(_WIN32) && !defined(_WIN64)
#define VQHW_CALL __stdcall
#else
#define VQHW_CALL
#endif

#if defined(_WIN32)
#define VQHW_API
#else
#define VQHW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum vqhw_result {
    VQHW_OK = 0,
    VQHW_NO_CARD = 1,
    VQHW_FAILED = -1,
    VQHW_ALREADY_OPEN = -8,
    VQHW_WRONG_SEQUENCE = -25,
    VQHW_NO_PSAM = -26,
    VQHW_CARD_KIND = -27,
    VQHW_ILLEGAL_CHARACTERS = -28,
    VQHW_TIMEOUT = -1000
};

/* Reader connection. */
VQHW_API int32_t VQHW_CALL open_reader(int32_t port, int32_t ignored);
VQHW_API int32_t VQHW_CALL close_reader(void);
/* text: 123 bytes at least. Always returns 0. */
VQHW_API int32_t VQHW_CALL getreaderinfo(char *text);
/* text: 49 bytes at least. Always returns 0. */
VQHW_API int32_t VQHW_CALL getvqicerror(char *text);

/* Reader control. */
VQHW_API int32_t VQHW_CALL SelectCardType(int32_t kindCharacter);
VQHW_API int32_t VQHW_CALL set_mmi(int32_t first, int32_t second, int32_t third);
VQHW_API int32_t VQHW_CALL RF_reset_h(void);
VQHW_API int32_t VQHW_CALL SAM_reset_h(void);
VQHW_API int32_t VQHW_CALL PRO_reset_h(void);
VQHW_API int32_t VQHW_CALL closecard(void);

/* MIFARE ONE cards. */
VQHW_API int32_t VQHW_CALL opencard(unsigned char *record);
VQHW_API int32_t VQHW_CALL opencard_h(char *text);
VQHW_API int32_t VQHW_CALL loadkey(int32_t keyType, int32_t sector, const unsigned char *key);
VQHW_API int32_t VQHW_CALL loadkey_h(int32_t keyType, int32_t sector, const char *key);
VQHW_API int32_t VQHW_CALL readblock(int32_t ignored, int32_t block, unsigned char *data);
VQHW_API int32_t VQHW_CALL readblock_h(int32_t ignored, int32_t block, char *text);
VQHW_API int32_t VQHW_CALL writeblock(int32_t ignored, int32_t block, const unsigned char *data);
VQHW_API int32_t VQHW_CALL writeblock_h(int32_t ignored, int32_t block, const char *text);
VQHW_API int32_t VQHW_CALL writekey(int32_t ignored, int32_t sector, const unsigned char *trailer);
VQHW_API int32_t VQHW_CALL writekey_h(int32_t ignored, int32_t sector, const char *text);
VQHW_API int32_t VQHW_CALL readfile(const char *fileId, const char *keyId, int32_t offset,
                                    int32_t length, unsigned char *data);
VQHW_API int32_t VQHW_CALL readfile_h(const char *fileId, const char *keyId, int32_t offset,
                                      int32_t length, char *text);
VQHW_API int32_t VQHW_CALL writefile(const char *fileId, const char *keyId, int32_t offset,
                                     int32_t length, const unsigned char *data);
VQHW_API int32_t VQHW_CALL writefile_h(const char *fileId, const char *keyId, int32_t offset,
                                       int32_t length, const char *text);

/* CPU user card (pro) and PSAM (sam) APDUs as hex text. */
VQHW_API int32_t VQHW_CALL pro_command_h(const char *apdu, char *reply);
VQHW_API int32_t VQHW_CALL PRO_COMMAND_H(const char *apdu, char *data, char *statusWord);
VQHW_API int32_t VQHW_CALL sam_command_h(const char *apdu, char *reply);
VQHW_API int32_t VQHW_CALL SAM_COMMAND_H(const char *apdu, char *data, char *statusWord);

/* Hex and numeric codecs; they need no reader and keep no status. */
VQHW_API int32_t VQHW_CALL hextobin(const char *text, unsigned char *bytes, int32_t *count);
VQHW_API int32_t VQHW_CALL hextodec(int32_t character);
VQHW_API int32_t VQHW_CALL hextoascii(const char *text, unsigned char *bytes);
VQHW_API int32_t VQHW_CALL asciitohex(const unsigned char *bytes, int32_t length, char *text);
VQHW_API int32_t VQHW_CALL asciitolong(const unsigned char *bytes, int32_t *value);
VQHW_API int32_t VQHW_CALL longtoascii(int32_t value, unsigned char *bytes);
/* These six do nothing and return 0. */
VQHW_API int32_t VQHW_CALL hextoulong(const void *ignored1, void *ignored2);
VQHW_API int32_t VQHW_CALL ulongtohex(const void *ignored1, void *ignored2);
VQHW_API int32_t VQHW_CALL hextouint(const void *ignored1, void *ignored2);
VQHW_API int32_t VQHW_CALL uinttohex(const void *ignored1, void *ignored2);
VQHW_API int32_t VQHW_CALL straxorstrb(const void *ignored1, const void *ignored2,
                                       const void *ignored3, void *ignored4);
VQHW_API int32_t VQHW_CALL straxorstrb_h(const void *ignored1, const void *ignored2,
                                         void *ignored3);

/* Date and time texts. */
VQHW_API int32_t VQHW_CALL stimetoltime(const char *hexDateTime, int32_t *value);
VQHW_API int32_t VQHW_CALL ltimetostime(int32_t value, char *text);
VQHW_API int32_t VQHW_CALL get_time(char *text);

/* These do nothing and return 0; the line speed is fixed at 115200. */
VQHW_API int32_t VQHW_CALL changebaudrate(int32_t ignored);
VQHW_API int32_t VQHW_CALL selectadf(void);
VQHW_API int32_t VQHW_CALL enterdebug(int32_t ignored1, int32_t ignored2);
VQHW_API int32_t VQHW_CALL close_pro(void);

#ifdef __cplusplus
}
#endif

#endif /* VQHWLIB_H */
