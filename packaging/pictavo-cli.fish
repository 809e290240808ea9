# fish completion for pictavo-cli: its commands, each command's options and the files or folders
# it takes. Debian's fish reads it from /usr/share/fish/vendor_completions.d.

set -l commands list extract bmp count icl search thumbnail

# Files only where a command takes them.
complete -c pictavo-cli -f
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -s h -l help -d 'Print the usage text'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -s V -l version -d 'Print the version'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a list -d 'List the icons and images of files'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a extract -d 'Save icons as .ico or images as PNG'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a bmp -d 'Draw one image into a BMP'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a count -d 'Count the icons of files'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a icl -d 'Gather icons into an icon library'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a search -d 'Find files that hold icons in folders'
complete -c pictavo-cli -n "not __fish_seen_subcommand_from $commands" -a thumbnail -d 'Save the first icon as a thumbnail PNG'

complete -c pictavo-cli -n "__fish_seen_subcommand_from $commands" -s h -l help -d 'Print the usage text'
complete -c pictavo-cli -n "__fish_seen_subcommand_from list extract bmp count icl thumbnail" -F
complete -c pictavo-cli -n "__fish_seen_subcommand_from list search" -l json -d 'Print a JSON array'
complete -c pictavo-cli -n "__fish_seen_subcommand_from extract" -l png -d 'Save each image as PNG'
complete -c pictavo-cli -n "__fish_seen_subcommand_from extract" -l size -x -d 'Only images of this width'
complete -c pictavo-cli -n "__fish_seen_subcommand_from extract" -s o -l output -x -a '(__fish_complete_directories)' -d 'Folder to write into'
complete -c pictavo-cli -n "__fish_seen_subcommand_from icl" -s o -l output -r -F -d 'Icon library to write'
complete -c pictavo-cli -n "__fish_seen_subcommand_from bmp" -l background -x -d 'Background colour RRGGBB'
complete -c pictavo-cli -n "__fish_seen_subcommand_from search" -a '(__fish_complete_directories)'
complete -c pictavo-cli -n "__fish_seen_subcommand_from search" -s r -l recursive -d 'Look in subfolders too'
complete -c pictavo-cli -n "__fish_seen_subcommand_from search" -l mask -x -d 'File name masks, separated by ;'
complete -c pictavo-cli -n "__fish_seen_subcommand_from search" -l keep-duplicates -d 'List files of the same name'
complete -c pictavo-cli -n "__fish_seen_subcommand_from thumbnail" -s s -l size -x -d 'Size of the thumbnail'
