# Sourced by the ansible cases once $work and $source (the repository) are set: skips
# without ansible, keeps ansible's files and settings in $work, out of any user's
# configuration, and builds and installs the collection there.
# shellcheck shell=bash disable=SC2154 # work and source are the sourcing script's
command -v ansible-playbook >/dev/null || { echo "ansible-core is not installed: skipped"; exit 77; }
export HOME=$work ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_COLLECTIONS_PATH=$work/collections
printf '%s\n' '[defaults]' 'retry_files_enabled = false' 'host_key_checking = false' 'nocolor = true' \
    "local_tmp = $work/tmp" "remote_tmp = $work/tmp" >"$ANSIBLE_CONFIG"
if ! { ansible-galaxy collection build "$source/ansible" --output-path "$work" &&
    ansible-galaxy collection install --offline -p "$work/collections" "$work"/tcpipset-printservers-*.tar.gz; } >"$work/galaxy.out" 2>&1; then
    cat "$work/galaxy.out"
    exit 1
fi
