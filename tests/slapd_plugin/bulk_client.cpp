#include "bulk_client.h"

#include <cstdio>

namespace plugin_test {

AddBatch::AddBatch(const std::string& parent, const std::string& prefix, int first, int count) : entries_(count)
{
    static char object_class[] = "inetOrgPerson";
    static char sn[] = "Loaded";
    static char object_class_type[] = "objectClass";
    static char cn_type[] = "cn";
    static char sn_type[] = "sn";
    static char mail_type[] = "mail";
    for (int i = 0; i < count; ++i) {
        Entry& entry = entries_[i];
        char number[16];
        std::snprintf(number, sizeof number, "%06d", first + i);
        entry.cn = prefix + " " + number;
        entry.dn = "cn=" + entry.cn + "," + parent;
        entry.mail = prefix + number + "@example.com";
        entry.object_classes[0] = object_class;
        entry.cns[0] = entry.cn.data();
        entry.sns[0] = sn;
        entry.mails[0] = entry.mail.data();
        entry.object_classes[1] = entry.cns[1] = entry.sns[1] = entry.mails[1] = nullptr;
        entry.mods[0] = {LDAP_MOD_ADD, object_class_type, {entry.object_classes}};
        entry.mods[1] = {LDAP_MOD_ADD, cn_type, {entry.cns}};
        entry.mods[2] = {LDAP_MOD_ADD, sn_type, {entry.sns}};
        entry.mods[3] = {LDAP_MOD_ADD, mail_type, {entry.mails}};
        for (int m = 0; m < 4; ++m)
            entry.mod_pointers[m] = &entry.mods[m];
        entry.mod_pointers[4] = nullptr;
        entry.operation = lburp_operation{};
        entry.operation.type = LBURP_OP_ADD;
        entry.operation.dn = entry.dn.data();
        entry.operation.specific = entry.mod_pointers;
        pointers_.push_back(&entry.operation);
    }
    pointers_.push_back(nullptr);
}

LDAPMessage* wait_for(LDAP* ld, int msgid)
{
    timeval timeout{60, 0};
    LDAPMessage* message = nullptr;
    if (ldap_result(ld, msgid, LDAP_MSG_ALL, &timeout, &message) <= 0)
        return nullptr;
    return message;
}

int start_stream(LDAP* ld, int* start_value)
{
    int msgid = 0;
    if (int rc = ldap_lburp_start_request(ld, &msgid); rc != LDAP_SUCCESS)
        return rc;
    LDAPMessage* message = wait_for(ld, msgid);
    int code = -1;
    int rc = ldap_parse_lburp_start_response(ld, message, &code, nullptr, start_value, 1);
    return rc != LDAP_SUCCESS ? rc : code;
}

int send_batch(LDAP* ld, int sequence, lburp_operation** operations)
{
    int msgid = 0;
    int rc = ldap_lburp_operation_request(ld, sequence, operations, &msgid);
    return rc == LDAP_SUCCESS ? msgid : -rc;
}

BatchAnswer read_batch_answer(LDAP* ld, int msgid)
{
    BatchAnswer answer;
    LDAPMessage* message = wait_for(ld, msgid);
    int count = 0;
    lburp_operation_result* results = nullptr;
    answer.rc = ldap_parse_lburp_operation_response(ld, message, &answer.result_code, nullptr, &count, &results, 1);
    for (int i = 0; i < count; ++i) {
        answer.results.emplace_back(results[i].operation_number, results[i].result_code);
        answer.messages.emplace_back(results[i].error_message != nullptr ? results[i].error_message : "");
        ldap_memfree(results[i].error_message);
    }
    tervane_memfree(results);
    return answer;
}

int end_stream(LDAP* ld, int sequence)
{
    int msgid = 0;
    if (int rc = ldap_lburp_end_request(ld, sequence, &msgid); rc != LDAP_SUCCESS)
        return rc;
    LDAPMessage* message = wait_for(ld, msgid);
    int code = -1;
    int rc = ldap_parse_lburp_end_response(ld, message, &code, nullptr, 1);
    return rc != LDAP_SUCCESS ? rc : code;
}

}  // namespace plugin_test
