# Reads `apt-cache policy` of packages for the native architecture (whose
# blocks start "NAME:") and for one foreign architecture ("NAME:ARCH:"). For
# each package installed for the native one whose foreign candidate is
# another version, prints "NAME INSTALLED VERSION...": the versions both
# architectures can have (the installed one counts for the native side, as it
# can stay).
# Set native=ARCH. Used by multiarch_pins in apt.sh.
/^[^ ].*:$/ {
    name = substr($0, 1, length($0) - 1)
    if (split(name, part, ":") == 2) { package = part[1]; arch = part[2] } else { package = name; arch = native }
    packages[package] = 1
    next
}
/^  Installed: / { installed[package, arch] = $2; next }
/^  Candidate: / { candidate[package, arch] = $2; next }
/^ \*\*\* / { version = $2; next }
/^     [^ ]/ { version = $1; next }
/^        [0-9-]/ {
    if ($0 !~ /\/var\/lib\/dpkg\/status/ && !((package, arch, version) in available)) {
        available[package, arch, version] = 1
        listed[package, arch] = listed[package, arch] " " version
    }
    next
}
END {
    for (package in packages) {
        for (key in candidate) {
            split(key, part, SUBSEP)
            if (part[1] != package || part[2] == native) continue
            foreign = part[2]
            kept = installed[package, native]
            if (kept == "" || kept == "(none)" || candidate[package, foreign] == kept) continue
            common = ""
            count = split(listed[package, foreign], versions, " ")
            for (i = 1; i <= count; i++)
                if (versions[i] == kept || (package, native, versions[i]) in available) common = common " " versions[i]
            if (common != "") print package, kept common
        }
    }
}
