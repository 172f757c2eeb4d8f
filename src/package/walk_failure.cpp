#include "package/walk_failure.h"

system_error walk_failure::system() const {
    return kind == walk_fault::read_error ? what.system : system_error{};
}

memory_need walk_failure::short_of() const {
    return kind == walk_fault::out_of_memory ? what.need : memory_need::record;
}

load_status walk_failure::found() const {
    const bool loading = kind == walk_fault::no_record || kind == walk_fault::ends_inside_target;
    return loading ? what.found : load_status::loaded;
}

const char* walk_failure::header_field() const {
    return kind == walk_fault::unreadable_header ? what.field : nullptr;
}

name_fault walk_failure::refused() const {
    return kind == walk_fault::refused_name ? what.name : name_fault::none;
}

integrity_fault walk_failure::broken() const {
    return kind == walk_fault::broken_integrity ? what.integrity : integrity_fault::none;
}
