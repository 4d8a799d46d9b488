// $set_option and $get_option: session-wide options of the client library,
// each option number with the form its Value takes in host programs.
#include <sys/time.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "methods.h"

namespace kandrel::methods {
namespace {

using library::Entry;

enum Parameter { kOption = 1, kValue = 2 };

// How Value carries an option's value.
enum class Form {
    none,          // the option cannot be set (or read) this way
    integer,       // an integer
    result_code,   // an integer holding a result code, in the host's numbering
    switch_,       // an integer: 0 off, anything else on (set only)
    controls,      // a "CTRL:" reference
    text,          // a text
    time,          // a collection with tv_sec and tv_usec
    text_list,     // a comma-separated list
    api_info,      // a collection describing the library (read only)
    feature_info,  // a collection naming a feature, completed by the library (read only)
    start_tls,     // any value: StartTLS on the session (set only)
};

// The component's own option: setting it (to any value) starts TLS on the
// session with StartTLS, certificates checked as the client library's
// configuration says (ldap.conf, LDAPTLS_*). A number in the range the
// option numbering leaves to private use, which the client library does not
// use; it never reaches the library's option calls.
constexpr std::int32_t kOptionStartTls = 0x7F01;
// The client library's "not supported", in the host's numbering (92).
constexpr std::int32_t kCodeNotSupported = library::host_code(LDAP_NOT_SUPPORTED);

struct OptionRule {
    std::int32_t option;  // the number host programs pass, as the constant table gives it
    Form set;
    Form get;
};

constexpr OptionRule kOptions[] = {
    {0, Form::none, Form::api_info},              // OPT_API_INFO
    {2, Form::integer, Form::integer},            // OPT_DEREF
    {3, Form::integer, Form::integer},            // OPT_SIZELIMIT
    {4, Form::integer, Form::integer},            // OPT_TIMELIMIT
    {8, Form::switch_, Form::none},               // OPT_REFERRALS
    {9, Form::switch_, Form::none},               // OPT_RESTART
    {17, Form::integer, Form::integer},           // OPT_PROTOCOL_VERSION
    {18, Form::controls, Form::controls},         // OPT_SERVER_CONTROLS
    {19, Form::controls, Form::controls},         // OPT_CLIENT_CONTROLS
    {21, Form::none, Form::feature_info},         // OPT_API_FEATURE_INFO
    {48, Form::text, Form::text},                 // OPT_HOST_NAME
    {49, Form::result_code, Form::result_code},   // OPT_RESULT_CODE, OPT_ERROR_NUMBER
    {50, Form::text, Form::text},                 // OPT_ERROR_STRING
    {51, Form::text, Form::text},                 // OPT_MATCHED_DN
    {20481, Form::integer, Form::integer},        // OPT_DEBUG_LEVEL
    {20482, Form::time, Form::time},              // OPT_TIMEOUT
    {20485, Form::time, Form::time},              // OPT_NETWORK_TIMEOUT
    {20487, Form::text_list, Form::text_list},    // OPT_REFERRAL_LIST
    {kOptionStartTls, Form::start_tls, Form::none},
};

const OptionRule* rule_of(std::int32_t option)
{
    const auto* found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                     [option](const OptionRule& rule) { return rule.option == option; });
    return found != std::end(kOptions) ? found : nullptr;
}

constexpr char kSeconds[] = "tv_sec";
constexpr char kMicroseconds[] = "tv_usec";
constexpr char kFeatureName[] = "ldapaif_name";
constexpr char kInvalidFeature[] = "Invalid feature name";

int set(MethodCall& call, std::int32_t option, const void* value)
{
    return library::call<Entry::ldap_set_option>(call.ld(), option, value);
}

int get(MethodCall& call, std::int32_t option, void* value)
{
    return library::call<Entry::ldap_get_option>(call.ld(), option, value);
}

// API info: the library's versions, extensions and vendor.
HostAnswer get_api_info(MethodCall& call, std::int32_t option)
{
    LDAPAPIInfo info{};
    info.ldapai_info_version = LDAP_API_INFO_VERSION;
    const int code = get(call, option, &info);
    const LibraryValues extensions(info.ldapai_extensions);
    const LibraryText vendor(info.ldapai_vendor_name);
    AttributeCollection collection;
    collection.add_integer("ldapai_info_version", info.ldapai_info_version);
    collection.add_integer("ldapai_api_version", info.ldapai_api_version);
    collection.add_integer("ldapai_protocol_version", info.ldapai_protocol_version);
    collection.add_each("ldapai_extensions", extensions.get());
    collection.add("ldapai_vendor_name", vendor ? vendor.get() : "");
    collection.add_integer("ldapai_vendor_version", info.ldapai_vendor_version);
    call.set_collection(kValue, collection);
    return call.result(code);
}

// Feature info: Value names the feature in its "ldapaif_name" item and gets
// the versions the library reports for it.
HostAnswer get_feature_info(MethodCall& call, std::int32_t option)
{
    AttributeCollection collection;
    if (!call.collection(kValue, collection)) {
        return call.code(kCodeBadParameters);
    }
    const auto name = collection.get(kFeatureName);
    if (!name) {
        call.set_text(kValue, kInvalidFeature);
        return call.code(kCodeBadParameters);
    }
    const std::string feature(*name);
    LDAPAPIFeatureInfo info{};
    info.ldapaif_info_version = LDAP_FEATURE_INFO_VERSION;
    info.ldapaif_name = const_cast<char*>(feature.c_str());
    const int code = get(call, option, &info);
    collection.set_or_add_integer("ldapaif_info_version", info.ldapaif_info_version);
    collection.set_or_add_integer("ldapaif_version", info.ldapaif_version);
    call.set_collection(kValue, collection);
    return call.result(code);
}

}  // namespace

// $set_option(Option, Value)
HostAnswer set_option(MethodCall& call)
{
    if (call.count() < 2) {
        return call.code(kCodeBadParameters);
    }
    const std::int32_t option = call.integer(kOption);
    const OptionRule* rule = rule_of(option);
    switch (rule != nullptr ? rule->set : Form::none) {
    case Form::integer: {
        const int value = call.integer(kValue);
        return call.result(set(call, option, &value));
    }
    case Form::result_code: {
        const int value = library::library_code(call.integer(kValue));
        return call.result(set(call, option, &value));
    }
    case Form::switch_:
        // The value travels in place of the pointer, as the classic API's
        // LDAP_OPT_ON ((void*)1) and LDAP_OPT_OFF (null) do.
        return call.result(set(call, option,
                               reinterpret_cast<const void*>(std::uintptr_t{call.integer(kValue) != 0})));
    case Form::controls: {
        ControlList controls;
        if (!call.controls(kValue, controls)) {
            return call.code(kCodeBadParameters);
        }
        return call.result(set(call, option, controls.get()));
    }
    case Form::text: {
        params::ParamText text;
        if (!call.text(kValue, text)) {
            return call.code(kCodeBadParameters);
        }
        return call.result(set(call, option, text.get()));
    }
    case Form::time: {
        AttributeCollection collection;
        if (!call.collection(kValue, collection)) {
            return call.code(kCodeBadParameters);
        }
        timeval time{};
        time.tv_sec = collection.get_integer(kSeconds);
        time.tv_usec = collection.get_integer(kMicroseconds);
        return call.result(set(call, option, &time));
    }
    case Form::text_list: {
        const params::TextList list = call.list(kValue);
        return call.result(set(call, option, list.get()));
    }
    case Form::start_tls:
        // A library without StartTLS would answer success through its
        // fallback: that would be a session in clear that says otherwise.
        if (library::is_fallback(Entry::ldap_start_tls_s)) {
            return call.result(kCodeNotSupported);
        }
        return call.result(library::call<Entry::ldap_start_tls_s>(call.ld(), nullptr, nullptr));
    default:
        return call.code(kCodeBadParameters);
    }
}

// $get_option(Option, &Value)
HostAnswer get_option(MethodCall& call)
{
    if (call.count() < 2) {
        return call.code(kCodeBadParameters);
    }
    const std::int32_t option = call.integer(kOption);
    const OptionRule* rule = rule_of(option);
    switch (rule != nullptr ? rule->get : Form::none) {
    case Form::api_info:
        return get_api_info(call, option);
    case Form::feature_info:
        return get_feature_info(call, option);
    case Form::integer:
    case Form::result_code: {
        int value = 0;
        const int code = get(call, option, &value);
        call.set_int(kValue, rule->get == Form::result_code ? library::host_code(value) : value);
        return call.result(code);
    }
    case Form::controls: {
        LDAPControl** controls = nullptr;
        const int code = get(call, option, &controls);
        call.hand_out(kValue, refs::Kind::controls, controls, release_controls);
        return call.result(code);
    }
    case Form::text: {
        LibraryText text;
        const int code = get(call, option, out(text));
        call.set_text(kValue, text.get());
        return call.result(code);
    }
    case Form::time: {
        std::unique_ptr<timeval, LibraryMemFree> time;
        const int code = get(call, option, out(time));
        if (time) {
            AttributeCollection collection;
            collection.add_integer(kSeconds, static_cast<std::int32_t>(time->tv_sec));
            collection.add_integer(kMicroseconds, static_cast<std::int32_t>(time->tv_usec));
            call.set_collection(kValue, collection);
        } else {
            call.set_text(kValue, nullptr);
        }
        return call.result(code);
    }
    case Form::text_list: {
        LibraryValues list;
        const int code = get(call, option, out(list));
        call.set_text_list(kValue, list.get());
        return call.result(code);
    }
    default:
        return call.code(kCodeBadParameters);
    }
}

}  // namespace kandrel::methods
