/* The names (object identifiers) of the administration extensions' extended
 * operations, in one place for everything that sends, answers or checks them:
 * Tervane, the slapd plug-in, the command, the tools and the tests. Macros,
 * so that names are string literals wherever a constant expression needs
 * one. A response name is its request's name with the last arc increased by
 * one unless its user says otherwise. */
#ifndef INTERFACES_OPERATION_NAMES_H
#define INTERFACES_OPERATION_NAMES_H

/* The administration requests and responses: LDAPEXT_ADMIN_OID(31) is the
 * bound-DN request. */
#define LDAPEXT_ADMIN_OID(arc) "2.16.840.1.113719.1.27.100." #arc
/* The bulk-update stream (start 1, end 4, batch 6, each answered by the next
 * arc). */
#define LDAPEXT_BULK_OID(arc) "2.16.840.1.113719.1.142.100." #arc
/* The one update style of the bulk-update stream. */
#define LDAPEXT_BULK_UPDATE_STYLE "2.16.840.1.113719.1.142.1.4.2"
/* The intermediate response that carries an event notification. */
#define LDAPEXT_EVENT_NOTIFICATION LDAPEXT_ADMIN_OID(81)

#endif
