/* The Quillon host as a plug-in component sees it: the messages the host sends
 * to the component's one export, the records that carry a request, and the
 * host's four service tables.
 *
 * Layout. The host is a 32-bit Windows program: on a 32-bit build every record
 * below has exactly the host's byte offsets (checked at compile time). A
 * 64-bit build keeps every field in the same order and widens pointers, item
 * links, value and list handles, wParam, lParam and the answer to the size of
 * a pointer; those records then use their natural alignment.
 *
 * Calling convention. LDAPWndProc and every host service use HOST_CALL, which
 * is __stdcall (the callee removes its arguments) on 32-bit Windows and the
 * platform's default convention everywhere else.
 *
 * Ownership. Values and lists belong to the host and are released only through
 * its services. HostItem records made by the component belong to the component
 * and are released by it on HOSTMSG_RELEASE_RESULTS; the host never frees
 * them. */
#ifndef INTERFACES_HOST_INTERFACE_H
#define INTERFACES_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define HOST_CALL __stdcall
#define HOST_32BIT_LAYOUT 1
#else
#define HOST_CALL
#if UINTPTR_MAX == 0xFFFFFFFFu
#define HOST_32BIT_LAYOUT 1
#else
#define HOST_32BIT_LAYOUT 0
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalars ------------------------------------------------------------ */

typedef void* HostWindow;          /* window argument of LDAPWndProc, opaque */
typedef uintptr_t HostWParam;      /* first message parameter */
typedef intptr_t HostLParam;       /* second message parameter; the host
                                      instance for object messages */
typedef intptr_t HostAnswer;       /* what LDAPWndProc answers */
typedef uintptr_t HostValueHandle; /* a host value; 0 = none */
typedef uintptr_t HostListHandle;  /* a host list as values hold it; 0 = none */
typedef uintptr_t HostListRef;     /* a working reference to a list, made by
                                      list service 0 and released by slot 1 */
typedef uint32_t HostChar;         /* one host character: a code point */

/* ---- Messages (the message argument of LDAPWndProc) --------------------- */
/* Messages below 0x10000 belong to the host's default procedure. */
#define HOSTMSG_FIRST_COMPONENT_MESSAGE 0x10000u
#define HOSTMSG_LIBRARY_NAME 0x10000u     /* answers 0 */
#define HOSTMSG_CONSTANT_PREFIX 0x30000u  /* answers 1 */
#define HOSTMSG_PROPERTY_TABLE 0x40000u   /* 1 for class 1001, else 0 */
#define HOSTMSG_CONSTANT_TABLE 0x60000u   /* answers 1 */
#define HOSTMSG_METHOD_TABLE 0x70000u     /* 1 for class 1001, else 0 */
#define HOSTMSG_PROPERTY_SET 0x80000u     /* the object's answer */
#define HOSTMSG_CONNECT 0x90000u          /* answers 525 */
#define HOSTMSG_DISCONNECT 0xA0000u       /* answers 1 */
#define HOSTMSG_METHOD_CALL 0xC0000u      /* the object's answer */
#define HOSTMSG_RELEASE_RESULTS 0xD0000u  /* answers 1 */
#define HOSTMSG_OBJECT_CREATE 0xE0000u    /* answers 1 */
#define HOSTMSG_OBJECT_DELETE 0xF0000u    /* answers 0 */
#define HOSTMSG_PROPERTY_CAN_ASSIGN 0x120000u /* the object's answer */
#define HOSTMSG_PROPERTY_GET 0x130000u    /* the object's answer */
#define HOSTMSG_VERSION_QUERY 0x2E0000u   /* answers 5310426 */
#define HOSTMSG_ANSWER_ONE 0x310000u      /* answers 1 */
#define HOSTMSG_PROPERTY_OTHER 0x370000u  /* the object's answer */
#define HOSTMSG_ANSWER_ZERO 0x360000u     /* answers 0 */
#define HOSTMSG_CLASS_TABLE 0x350000u     /* answers 1 */
#define HOSTMSG_OBJECT_COPY 0x390000u     /* answers 0; lParam points to the
                                             source then the target instance */
#define HOSTMSG_ENUMERATE_STRINGS 0x540000u /* answers 0 */

#define HOST_CONNECT_ANSWER 525
#define HOST_VERSION_ANSWER 5310426

/* ---- Type codes and flags ---------------------------------------------- */
#define HOST_TYPE_ANY 20
#define HOST_TYPE_CHARACTER 21
#define HOST_TYPE_BOOLEAN 22
#define HOST_TYPE_INTEGER 26
#define HOST_TYPE_BINARY 28
#define HOST_TYPE_LIST 29

#define HOST_SUBTYPE_DEFAULT 255      /* subtype passed with set-text calls */
#define HOST_PARAM_OPTIONAL 0x4000    /* parameter flag in method tables */
#define HOST_PARAM_REFERENCE 0x200000 /* parameter the method may write back */
#define HOST_PROPERTY_READ_ONLY 1024  /* property flag: cannot be assigned */

#define HOST_ITEM_MADE_BY_COMPONENT 0x40 /* HostItem.flags */
#define HOST_ITEM_CHANGED 0x04           /* HostItem.flags */

/* ---- Records ------------------------------------------------------------ */

/* One parameter, return value or request header of a call. On 32-bit the
 * record is 30 bytes without padding:
 *   0 id, 4 reserved, 8 value, 12 reserved, 16 number, 17 flags, 18 next,
 *   22 eight zero bytes.
 * On 64-bit the same fields in the same order with natural alignment:
 *   0 id, 4 reserved, 8 value, 16 reserved, 20 number, 21 flags, 24 next,
 *   32 eight zero bytes; 40 bytes in all. */
#if HOST_32BIT_LAYOUT
#pragma pack(push, 1)
#endif
typedef struct HostItem {
    int32_t id;             /* first item of a request: method/property id */
    int32_t reserved4;      /* 0 in items made by the component */
    HostValueHandle value;  /* the item's value, or 0 */
    int32_t reserved12;     /* 0 in items made by the component */
    uint8_t number;         /* 0 return value, 1.. parameters */
    uint8_t flags;          /* HOST_ITEM_MADE_BY_COMPONENT, HOST_ITEM_CHANGED */
    struct HostItem* next;  /* next item, or NULL */
    uint8_t zero[8];
} HostItem;
#if HOST_32BIT_LAYOUT
#pragma pack(pop)
#endif

/* A short text of at most 255 host characters. The host reads capacity, kind
 * and length and the characters up to length; text[length] is 0 when the text
 * is handed on. Layout: 0 capacity, 1 kind, 4 length, 8 text. */
#define HOST_SHORT_STRING_KIND 2
#define HOST_SHORT_STRING_MAX 255
typedef struct HostShortString {
    uint8_t capacity;  /* characters the text may hold, at most 255 */
    uint8_t kind;      /* always HOST_SHORT_STRING_KIND */
    int32_t length;    /* characters in use */
    HostChar text[HOST_SHORT_STRING_MAX + 1];
} HostShortString;

/* What value service 40 answers: the characters of a value. The record stays
 * the host's and is valid until the value changes. */
typedef struct HostTextRecord {
    int32_t reserved0;
    int32_t byte_length;          /* 4 per character */
    const HostChar* characters;   /* byte_length / 4 characters */
} HostTextRecord;

/* One slot of a service table. Each slot is cast to its documented type
 * before it is called. */
typedef void (HOST_CALL* HostServiceSlot)(void);

/* Services for resource strings.
 *  42 HostStringLoaded:   int32_t (HostChar* characters, int32_t capacity,
 *                                  int32_t length)
 *     Called after each resource string was loaded into characters; answers
 *     the final length.
 *  43 HostStringEnumerated: void (HostWParam wParam,
 *                                 const HostShortString* text,
 *                                 HostLParam lParam)
 *     Called once per non-empty string on HOSTMSG_ENUMERATE_STRINGS with
 *     that message's wParam and lParam. */
#define HOST_STRING_SLOT_LOADED 42
#define HOST_STRING_SLOT_ENUMERATED 43
#define HOST_STRING_SLOT_COUNT 44
typedef int32_t(HOST_CALL* HostStringLoadedFn)(HostChar*, int32_t, int32_t);
typedef void(HOST_CALL* HostStringEnumeratedFn)(HostWParam, const HostShortString*, HostLParam);
typedef struct HostStringServices {
    HostServiceSlot slot[HOST_STRING_SLOT_COUNT];
} HostStringServices;

struct HostCallInfo;

/* The host's default procedure.
 *  0 HostDefaultProc: HostAnswer (HostWindow window, uint32_t message,
 *                                 HostWParam wParam, HostLParam lParam,
 *                                 struct HostCallInfo* call)
 *    Handles the messages below 0x10000 with the five arguments unchanged. */
#define HOST_DEFAULT_SLOT_PROC 0
#define HOST_DEFAULT_SLOT_COUNT 1
typedef HostAnswer(HOST_CALL* HostDefaultProcFn)(HostWindow, uint32_t, HostWParam, HostLParam,
                                                  struct HostCallInfo*);
typedef struct HostDefaultProcedures {
    HostServiceSlot slot[HOST_DEFAULT_SLOT_COUNT];
} HostDefaultProcedures;

/* Services for host values.
 *  0 create:     HostValueHandle (void)                 a new empty value
 *  1 free:       void (HostValueHandle value)
 *  7 set short:  void (HostValueHandle value, const HostShortString* text,
 *                      int32_t subtype)                  subtype 255
 *  8 set chars:  void (HostValueHandle value, const HostChar* characters,
 *                      int32_t count)
 * 12 get int:    int32_t (HostValueHandle value)
 * 13 set int:    void (HostValueHandle value, int32_t integer)
 * 18 get list:   HostListHandle (HostValueHandle value, int32_t, int32_t,
 *                                int32_t)                 zeros; 0 = no list
 * 19 set list:   void (HostValueHandle value, HostListHandle list,
 *                      int32_t flag, int32_t)             flag 1: the value
 *                                                         takes a copy
 * 22 set binary: void (HostValueHandle value, int32_t type, const void* data,
 *                      int32_t length, int32_t subtype)   type 28, subtype 255
 * 38 type:       void (HostValueHandle value, int32_t* type, int32_t)  zero
 * 40 chars:      const HostTextRecord* (HostValueHandle value, int32_t)  zero
 * 54 set empty:  void (HostValueHandle value, int32_t type, int32_t subtype)
 *                                                         type 21, subtype 255 */
#define HOST_VALUE_SLOT_CREATE 0
#define HOST_VALUE_SLOT_FREE 1
#define HOST_VALUE_SLOT_SET_SHORT_STRING 7
#define HOST_VALUE_SLOT_SET_CHARACTERS 8
#define HOST_VALUE_SLOT_GET_INTEGER 12
#define HOST_VALUE_SLOT_SET_INTEGER 13
#define HOST_VALUE_SLOT_GET_LIST 18
#define HOST_VALUE_SLOT_SET_LIST 19
#define HOST_VALUE_SLOT_SET_BINARY 22
#define HOST_VALUE_SLOT_TYPE 38
#define HOST_VALUE_SLOT_CHARACTERS 40
#define HOST_VALUE_SLOT_SET_EMPTY 54
#define HOST_VALUE_SLOT_COUNT 55
typedef HostValueHandle(HOST_CALL* HostValueCreateFn)(void);
typedef void(HOST_CALL* HostValueFreeFn)(HostValueHandle);
typedef void(HOST_CALL* HostValueSetShortStringFn)(HostValueHandle, const HostShortString*, int32_t);
typedef void(HOST_CALL* HostValueSetCharactersFn)(HostValueHandle, const HostChar*, int32_t);
typedef int32_t(HOST_CALL* HostValueGetIntegerFn)(HostValueHandle);
typedef void(HOST_CALL* HostValueSetIntegerFn)(HostValueHandle, int32_t);
typedef HostListHandle(HOST_CALL* HostValueGetListFn)(HostValueHandle, int32_t, int32_t, int32_t);
typedef void(HOST_CALL* HostValueSetListFn)(HostValueHandle, HostListHandle, int32_t, int32_t);
typedef void(HOST_CALL* HostValueSetBinaryFn)(HostValueHandle, int32_t, const void*, int32_t, int32_t);
typedef void(HOST_CALL* HostValueTypeFn)(HostValueHandle, int32_t*, int32_t);
typedef const HostTextRecord*(HOST_CALL* HostValueCharactersFn)(HostValueHandle, int32_t);
typedef void(HOST_CALL* HostValueSetEmptyFn)(HostValueHandle, int32_t, int32_t);
typedef struct HostValueServices {
    HostServiceSlot slot[HOST_VALUE_SLOT_COUNT];
} HostValueServices;

/* Services for host lists.
 *  0 open:     HostListRef (HostListHandle list)   0: a new empty list;
 *                                                  else that list
 *  1 close:    void (HostListRef list)             releases the reference and
 *                                                  a new list with it
 *  2 handle:   HostListHandle (HostListRef list)   for value service 19
 *  3 prepare:  void (HostListRef list, int32_t)    1, after opening a new list
 *  9 cell:     void (HostListRef list, int32_t row, int32_t column,
 *                    HostValueHandle* out, int32_t) 1; out receives the cell's
 *                                                  value, which stays the list's
 * 13 add row:  int32_t (HostListRef list, int32_t, int32_t, int32_t)
 *                                                  zeros; answers the new row
 *                                                  number (from 1) */
#define HOST_LIST_SLOT_OPEN 0
#define HOST_LIST_SLOT_CLOSE 1
#define HOST_LIST_SLOT_HANDLE 2
#define HOST_LIST_SLOT_PREPARE 3
#define HOST_LIST_SLOT_CELL 9
#define HOST_LIST_SLOT_ADD_ROW 13
#define HOST_LIST_SLOT_COUNT 14
typedef HostListRef(HOST_CALL* HostListOpenFn)(HostListHandle);
typedef void(HOST_CALL* HostListCloseFn)(HostListRef);
typedef HostListHandle(HOST_CALL* HostListHandleFn)(HostListRef);
typedef void(HOST_CALL* HostListPrepareFn)(HostListRef, int32_t);
typedef void(HOST_CALL* HostListCellFn)(HostListRef, int32_t, int32_t, HostValueHandle*, int32_t);
typedef int32_t(HOST_CALL* HostListAddRowFn)(HostListRef, int32_t, int32_t, int32_t);
typedef struct HostListServices {
    HostServiceSlot slot[HOST_LIST_SLOT_COUNT];
} HostListServices;

/* The record that comes with every message. 32-bit offsets:
 *   4 class id, 12 group key, 16 first item, 24 string services,
 *   32 default procedures, 36 value services, 40 list services.
 * The component copies the four table pointers from the first call only. */
typedef struct HostCallInfo {
    int32_t reserved0;
    int32_t class_id;   /* 1001: LDAPSession */
    int32_t reserved8;
    uint32_t group_key; /* groups the host's objects; 0 matches any group */
    HostItem* items;    /* first item of the call, or NULL */
    uintptr_t reserved20;
    const HostStringServices* string_services;
    uintptr_t reserved28;
    const HostDefaultProcedures* default_procedures;
    const HostValueServices* value_services;
    const HostListServices* list_services;
} HostCallInfo;

/* The component's one export.
 *   window, wParam: passed on to the default procedure where it is used.
 *   message: one of the HOSTMSG_ values.
 *   lParam: the host instance for object messages; for HOSTMSG_OBJECT_COPY a
 *     pointer to two HostLParam values, the source then the target instance.
 *   call: the request's record; items made by the component hang from it until
 *     HOSTMSG_RELEASE_RESULTS.
 * Answers as listed with the messages. Never throws. */
typedef HostAnswer(HOST_CALL* HostComponentProc)(HostWindow window, uint32_t message,
                                                  HostWParam wParam, HostLParam lParam,
                                                  HostCallInfo* call);
#define HOST_COMPONENT_EXPORT_NAME "LDAPWndProc"

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus
#define HOST_STATIC_ASSERT static_assert
#else
#define HOST_STATIC_ASSERT _Static_assert
#endif

/* The 32-bit layout is the host's; any difference breaks the protocol. */
#if HOST_32BIT_LAYOUT
HOST_STATIC_ASSERT(sizeof(HostItem) == 30, "HostItem is 30 bytes");
HOST_STATIC_ASSERT(offsetof(HostItem, id) == 0, "HostItem.id");
HOST_STATIC_ASSERT(offsetof(HostItem, value) == 8, "HostItem.value");
HOST_STATIC_ASSERT(offsetof(HostItem, number) == 16, "HostItem.number");
HOST_STATIC_ASSERT(offsetof(HostItem, flags) == 17, "HostItem.flags");
HOST_STATIC_ASSERT(offsetof(HostItem, next) == 18, "HostItem.next");
HOST_STATIC_ASSERT(offsetof(HostItem, zero) == 22, "HostItem.zero");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, class_id) == 4, "HostCallInfo.class_id");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, group_key) == 12, "HostCallInfo.group_key");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, items) == 16, "HostCallInfo.items");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, string_services) == 24, "HostCallInfo.string_services");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, default_procedures) == 32,
                   "HostCallInfo.default_procedures");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, value_services) == 36, "HostCallInfo.value_services");
HOST_STATIC_ASSERT(offsetof(HostCallInfo, list_services) == 40, "HostCallInfo.list_services");
HOST_STATIC_ASSERT(offsetof(HostTextRecord, byte_length) == 4, "HostTextRecord.byte_length");
HOST_STATIC_ASSERT(offsetof(HostTextRecord, characters) == 8, "HostTextRecord.characters");
#else
/* The 64-bit layout documented above. */
HOST_STATIC_ASSERT(sizeof(HostItem) == 40, "HostItem is 40 bytes on 64-bit");
HOST_STATIC_ASSERT(offsetof(HostItem, value) == 8, "HostItem.value");
HOST_STATIC_ASSERT(offsetof(HostItem, number) == 20, "HostItem.number");
HOST_STATIC_ASSERT(offsetof(HostItem, flags) == 21, "HostItem.flags");
HOST_STATIC_ASSERT(offsetof(HostItem, next) == 24, "HostItem.next");
HOST_STATIC_ASSERT(offsetof(HostItem, zero) == 32, "HostItem.zero");
#endif
HOST_STATIC_ASSERT(offsetof(HostShortString, length) == 4, "HostShortString.length");
HOST_STATIC_ASSERT(offsetof(HostShortString, text) == 8, "HostShortString.text");

#endif
