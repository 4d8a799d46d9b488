/*
 * The part of slapd's plug-in interface (SLAPI) that this plug-in uses. slapd
 * installs no header for it, so the functions and constants are declared
 * here, with the numbers of OpenLDAP's public plug-in interface. slapd
 * resolves the functions when it loads the plug-in.
 *
 * A wrong declaration crashes the server. Integer parameters of
 * slapi_pblock_get and slapi_pblock_set travel by address in both directions.
 */
#ifndef SLAPD_PLUGIN_SLAPI_H
#define SLAPD_PLUGIN_SLAPI_H

#include <lber.h>
#include <ldap.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct slapi_pblock Slapi_PBlock;
typedef struct slapi_entry Slapi_Entry;
typedef struct slapi_attr Slapi_Attr;
typedef struct slapi_value Slapi_Value;
typedef struct slapi_componentid Slapi_ComponentId;
typedef struct slapi_dn Slapi_DN;
typedef struct slapi_backend Slapi_Backend;
typedef int (*SLAPI_FUNC)(Slapi_PBlock *pb);

/* Parameter block numbers. */
#define SLAPI_PLUGIN_ARGV 6            /* char **: the arguments after the init function */
#define SLAPI_PLUGIN_ARGC 7            /* int */
#define SLAPI_PLUGIN_VERSION 8         /* char *: "03" */
#define SLAPI_PLUGIN_DESCRIPTION 12    /* Slapi_PluginDesc * */
#define SLAPI_PLUGIN_INTOP_RESULT 15   /* int: result of an internal operation */
#define SLAPI_PLUGIN_INTOP_SEARCH_ENTRIES 16 /* Slapi_Entry **, NULL-terminated */
#define SLAPI_TARGET_DN 50             /* char *: the operation's target */
#define SLAPI_REQCONTROLS 51           /* LDAPControl **: the request's controls, NULL-terminated */
#define SLAPI_ADD_ENTRY 60             /* Slapi_Entry *: the entry an add creates */
#define SLAPI_MODIFY_MODS 90           /* LDAPMod ** */
#define SLAPI_MODRDN_NEWRDN 100        /* char * */
#define SLAPI_MODRDN_DELOLDRDN 101     /* int */
#define SLAPI_MODRDN_NEWSUPERIOR 102   /* char *, NULL when the parent stays */
#define SLAPI_BACKEND 130              /* set: the database whose access rules apply */
#define SLAPI_CONNECTION 131           /* the connection, for object extensions */
#define SLAPI_OPERATION 132            /* the operation, for slap_send_ldap_intermediate */
#define SLAPI_REQUESTOR_DN 141         /* char *: normalised DN the operation runs as */
#define SLAPI_CONN_DN 143              /* char *: the connection's bound DN, NULL when anonymous */
#define SLAPI_EXT_OP_REQ_OID 160       /* char * */
#define SLAPI_EXT_OP_REQ_VALUE 161     /* struct berval *, NULL without value */
#define SLAPI_EXT_OP_RET_OID 162       /* char *: static, slapd does not release it */
#define SLAPI_EXT_OP_RET_VALUE 163     /* struct berval *: slapd releases it with ber_bvfree */
#define SLAPI_PLUGIN_EXT_OP_FN 300
#define SLAPI_PLUGIN_EXT_OP_OIDLIST 301 /* char **, NULL-terminated */
/* Called for every operation from outside just before its result is sent,
 * on the operation's own thread, once the change is made. */
#define SLAPI_PLUGIN_PRE_RESULT_FN 412
/* Called before a client's search, compare or update is carried out, on
 * its thread; 0 lets it go on. */
#define SLAPI_PLUGIN_PRE_SEARCH_FN 403
#define SLAPI_PLUGIN_PRE_COMPARE_FN 404
#define SLAPI_PLUGIN_PRE_MODIFY_FN 405
#define SLAPI_PLUGIN_PRE_MODRDN_FN 406
#define SLAPI_PLUGIN_PRE_ADD_FN 407
#define SLAPI_PLUGIN_PRE_DELETE_FN 408
#define SLAPI_OPERATION_TYPE 590       /* ber_tag_t: the operation's request tag */
#define SLAPI_RESULT_CODE 881          /* int; in the result hook the operation's result */
#define SLAPI_RESULT_TEXT 882          /* char *: must outlive the handler */
#define SLAPI_X_INTOP_RESULT_CALLBACK 1402 /* plugin_result_callback: an internal operation's result is sent */
#define SLAPI_X_INTOP_CALLBACK_DATA 1405   /* void *: handed to it */

#define SLAPI_PLUGIN_VERSION_03 "03"
/* Results of an extended-operation function besides 0 ("send what was set"). */
#define SLAPI_PLUGIN_EXTENDED_SENT_RESULT -1
#define SLAPI_PLUGIN_EXTENDED_NOT_HANDLED -2

/* Access kinds of slapi_access_allowed. */
#define SLAPI_ACL_COMPARE 0x01
#define SLAPI_ACL_SEARCH 0x02
#define SLAPI_ACL_READ 0x04
#define SLAPI_ACL_WRITE 0x08
#define SLAPI_ACL_DELETE 0x10
#define SLAPI_ACL_ADD 0x20

/* Attribute flags. */
#define SLAPI_ATTR_FLAG_OPATTR 0x0002

/* Object extensions. */
#define SLAPI_EXT_CONNECTION "Connection"
typedef void *(*slapi_extension_constructor_fnptr)(void *object, void *parent);
typedef void (*slapi_extension_destructor_fnptr)(void *extension, void *object, void *parent);

typedef struct slapi_plugindesc {
    char *spd_id;
    char *spd_vendor;
    char *spd_version;
    char *spd_description;
} Slapi_PluginDesc;

typedef int (*plugin_search_entry_callback)(Slapi_Entry *e, void *callback_data);
typedef void (*plugin_result_callback)(int rc, void *callback_data);
typedef int (*plugin_referral_entry_callback)(char *referral, void *callback_data);

/* Parameter blocks. */
Slapi_PBlock *slapi_pblock_new(void);
void slapi_pblock_destroy(Slapi_PBlock *pb);
int slapi_pblock_get(Slapi_PBlock *pb, int arg, void *value);
int slapi_pblock_set(Slapi_PBlock *pb, int arg, void *value);

/* Internal operations: prepare with ..._set_pb, run with ..._pb, read
 * SLAPI_PLUGIN_INTOP_RESULT. They run without access control. */
int slapi_search_internal_set_pb(Slapi_PBlock *pb, const char *base, int scope, const char *filter, char **attrs,
                                 int attrsonly, LDAPControl **controls, const char *uniqueid,
                                 Slapi_ComponentId *plugin_identity, int operation_flags);
int slapi_search_internal_pb(Slapi_PBlock *pb);
int slapi_search_internal_callback_pb(Slapi_PBlock *pb, void *callback_data, plugin_result_callback prc,
                                      plugin_search_entry_callback psec, plugin_referral_entry_callback prec);
void slapi_free_search_results_internal(Slapi_PBlock *pb);
int slapi_add_internal_set_pb(Slapi_PBlock *pb, const char *dn, LDAPMod **attrs, LDAPControl **controls,
                              Slapi_ComponentId *plugin_identity, int operation_flags);
int slapi_add_internal_pb(Slapi_PBlock *pb);
int slapi_modify_internal_set_pb(Slapi_PBlock *pb, const char *dn, LDAPMod **mods, LDAPControl **controls,
                                 const char *uniqueid, Slapi_ComponentId *plugin_identity, int operation_flags);
int slapi_modify_internal_pb(Slapi_PBlock *pb);
int slapi_delete_internal_set_pb(Slapi_PBlock *pb, const char *dn, LDAPControl **controls, const char *uniqueid,
                                 Slapi_ComponentId *plugin_identity, int operation_flags);
int slapi_delete_internal_pb(Slapi_PBlock *pb);
int slapi_rename_internal_set_pb(Slapi_PBlock *pb, const char *olddn, const char *newrdn, const char *newsuperior,
                                 int deloldrdn, LDAPControl **controls, const char *uniqueid,
                                 Slapi_ComponentId *plugin_identity, int operation_flags);
int slapi_modrdn_internal_pb(Slapi_PBlock *pb);

/* Access control for the operation's requestor: LDAP_SUCCESS when allowed. */
int slapi_access_allowed(Slapi_PBlock *pb, Slapi_Entry *e, char *attr, struct berval *val, int access);
int slapi_acl_check_mods(Slapi_PBlock *pb, Slapi_Entry *e, LDAPMod **mods, char **errbuf);

/* Entries. Strings handed out are released with slapi_ch_free_string. */
char *slapi_entry_get_dn(Slapi_Entry *e);
Slapi_Entry *slapi_entry_dup(const Slapi_Entry *e);
void slapi_entry_free(Slapi_Entry *e);
int slapi_entry_first_attr(const Slapi_Entry *e, Slapi_Attr **attr);
int slapi_entry_next_attr(const Slapi_Entry *e, Slapi_Attr *prevattr, Slapi_Attr **attr);
int slapi_attr_get_type(const Slapi_Attr *attr, char **type);
int slapi_attr_first_value(Slapi_Attr *a, Slapi_Value **v);
int slapi_attr_next_value(Slapi_Attr *a, int hint, Slapi_Value **v);
const struct berval *slapi_value_get_berval(const Slapi_Value *value);
int slapi_attr_flag_is_set(const Slapi_Attr *attr, unsigned long flag);
Slapi_Entry *slapi_entry_alloc(void);
void slapi_entry_set_dn(Slapi_Entry *e, char *dn); /* takes dn, from slapi_ch_strdup */
int slapi_entry_add_values(Slapi_Entry *e, const char *type, struct berval **vals);
/* The schema's name of an attribute type (slapd's own string, never
 * released), or NULL when the schema does not know the type. */
char *slapi_attr_syntax_normalize(const char *s);
char *slapi_entry_attr_get_charptr(const Slapi_Entry *e, const char *type);
/* A new normalised copy of dn, or NULL when it is not a DN. */
char *slapi_dn_normalize_case(char *dn);
char *slapi_ch_strdup(const char *s);
void slapi_ch_free_string(char **s);

/* Databases. */
Slapi_DN *slapi_sdn_new_dn_byref(const char *dn);
void slapi_sdn_free(Slapi_DN **sdn);
Slapi_Backend *slapi_be_select(const Slapi_DN *sdn);

/* Operations. */
int slapi_op_abandoned(Slapi_PBlock *pb);
int slapi_log_error(int severity, char *subsystem, char *fmt, ...);
#define SLAPI_LOG_FATAL 0

/* Per-connection state. */
int slapi_register_object_extension(const char *pluginname, const char *objectname,
                                    slapi_extension_constructor_fnptr constructor,
                                    slapi_extension_destructor_fnptr destructor, int *objecttype,
                                    int *extensionhandle);
void *slapi_get_object_extension(int objecttype, void *object, int extensionhandle);

#ifdef __cplusplus
}
#endif

#endif
