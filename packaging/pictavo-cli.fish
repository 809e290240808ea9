# fish completion for pictavo-cli: its commands, each command's options and the files or folders
# it takes. Debian's fish reads it from /usr/share/fish/vendor_completions.d.

# The command of the line: its first word after pictavo-cli, where that is one. Only that word
# names the command; a later one is a file or folder of its, whatever its name.
function __pictavo_cli_command
    set -l words (commandline -opc)
    set -q words[2]; and contains -- $words[2] list extract bmp count icl search thumbnail; and echo $words[2]
end

# Whether the line's command is one of those given.
function __pictavo_cli_using
    contains -- (__pictavo_cli_command) $argv
end

# The folders that complete the word being typed; of "--output=DIR", the folders that complete
# DIR (fish puts "--output=" back in front of them).
function __pictavo_cli_folders
    __fish_complete_directories (string replace -r -- '^--[^=]*=' '' (commandline -ct))
end

# Files only where a command takes them.
complete -c pictavo-cli -f
complete -c pictavo-cli -n "not __pictavo_cli_command" -s h -l help -d 'Print the usage text'
complete -c pictavo-cli -n "not __pictavo_cli_command" -s V -l version -d 'Print the version'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a list -d 'List the icons and images of files'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a extract -d 'Save icons as .ico or images as PNG'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a bmp -d 'Draw one image into a BMP'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a count -d 'Count the icons of files'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a icl -d 'Gather icons into an icon library'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a search -d 'Find files that hold icons in folders'
complete -c pictavo-cli -n "not __pictavo_cli_command" -a thumbnail -d 'Save the first icon as a thumbnail PNG'

complete -c pictavo-cli -n __pictavo_cli_command -s h -l help -d 'Print the usage text'
complete -c pictavo-cli -n "__pictavo_cli_using list extract bmp count icl thumbnail" -F
complete -c pictavo-cli -n "__pictavo_cli_using list search" -l json -d 'Print a JSON array'
complete -c pictavo-cli -n "__pictavo_cli_using extract" -l png -d 'Save each image as PNG'
complete -c pictavo-cli -n "__pictavo_cli_using extract" -l size -x -d 'Only images of this width'
complete -c pictavo-cli -n "__pictavo_cli_using extract" -s o -l output -x -a '(__pictavo_cli_folders)' -d 'Folder to write into'
complete -c pictavo-cli -n "__pictavo_cli_using icl" -s o -l output -r -F -d 'Icon library to write'
complete -c pictavo-cli -n "__pictavo_cli_using bmp" -l background -x -d 'Background colour RRGGBB'
complete -c pictavo-cli -n "__pictavo_cli_using search" -a '(__pictavo_cli_folders)'
complete -c pictavo-cli -n "__pictavo_cli_using search" -s r -l recursive -d 'Look in subfolders too'
complete -c pictavo-cli -n "__pictavo_cli_using search" -l mask -x -d 'File name masks, separated by ;'
complete -c pictavo-cli -n "__pictavo_cli_using search" -l keep-duplicates -d 'List files of the same name'
complete -c pictavo-cli -n "__pictavo_cli_using thumbnail" -s s -l size -x -d 'Size of the thumbnail'
