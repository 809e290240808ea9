#!/usr/bin/env zsh
# Prints what zsh's completion system offers for each command line given, the cursor at its end:
# zsh-complete.zsh FOLDER LINE..., with FOLDER put first on $fpath. For each line, a line
# "== LINE" and then the matches, sorted, one a line. Runs an interactive zsh in a
# pseudo-terminal (zpty), whose compadd is wrapped to print the matches it is given, and
# presses Tab there.
zmodload zsh/zpty || exit 2
local folder=$1 out
shift

zpty z zsh -f -i
# The inner shell: no prompt, the completion system with the folder first, every match
# printed between markers, and Ctrl-T to say a line is done and drop it.
zpty -w z "PROMPT= RPROMPT= PS2= ; fpath=(${(q)folder} \$fpath)"
zpty -w z 'autoload -Uz compinit && compinit -u -D'
zpty -w z 'zstyle ":completion:*" insert-tab false'
zpty -w z 'compadd () {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
  local -a matches; builtin compadd -A matches "$@"
  (( $#matches )) || return 1
  local m; for m in $matches; do print -r -- "<<$m>>"; done
  builtin compadd "$@"
}'
zpty -w z 'zle_done() { print -r -- "<<DO""NE>>"; zle send-break }; zle -N zle_done; bindkey "^T" zle_done; KEYTIMEOUT=1; bindkey "^I" complete-word'
zpty -w z 'print -r -- "<<RE""ADY>>"'
zpty -r z out '*<<READY>>*' || exit 3
local line all
for line in "$@"; do
  zpty -n -w z "$line"$'\t'$'\x14'
  all=
  while zpty -r z out; do
    all+=$out
    [[ $all == *'<<DONE>>'* ]] && break
  done
  print -r -- "== $line"
  # The matches, wherever the terminal put them (the echo of what was typed shares a line).
  print -r -- "$all" | grep -o '<<[^<>]*>>' | sed -e 's/^<<//' -e 's/>>$//' | grep -vx 'DONE' | sort -u
done
zpty -d z
