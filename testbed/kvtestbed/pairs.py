"""The reply format of the configuration and result exchanges: name 0x1F value 0x1E, repeated."""

UNIT_SEPARATOR = "\x1f"
RECORD_SEPARATOR = "\x1e"


def encode_pairs(pairs):
    return "".join(f"{name}{UNIT_SEPARATOR}{value}{RECORD_SEPARATOR}" for name, value in pairs)


def apply_scenario(defaults, scenario, endpoint, reserved):
    """Defaults (ordered name/value pairs) with the scenario's overrides and omissions applied.

    An override of a name that is not among the defaults is appended, so a test can send
    extra keys. `{host}`, `{ip}` and `{ftp}` in an override are left for the caller to fill.
    """
    pairs = list(defaults)
    for name, value in scenario.overrides(endpoint, reserved).items():
        for i, (existing, _) in enumerate(pairs):
            if existing == name:
                pairs[i] = (name, value)
                break
        else:
            pairs.append((name, value))
    omitted = scenario.omitted(endpoint)
    return [(name, value) for name, value in pairs if name not in omitted]
