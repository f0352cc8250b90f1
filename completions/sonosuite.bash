# bash completion for the sonosuite programs: their option letters, the
# audio type names after -t of sonomorph, tonesmith and pcmwrap, the IEC 61937
# data types after burstpick's -t, -T and -r, nothing after options that take
# a number, and file names elsewhere.  One file serves all seven programs;
# each program's name in the completions folder links to it.

# Every name get_audio_type accepts.
_sonosuite_audio_types='ils ils_f ils_d aiff aiff_8 aiff_16 aiff_24 aiff_32
    aifc aifc_8 aifc_16 aifc_24 aifc_32 spw spw_d wave wave_8 wave_16 wave_24
    wave_32 sun sun_8 sun_16 sun_24 sun_32 sun_f sun_d'
# The data types whose streams burstpick writes out: AC-3 (1), type 2,
# MPEG audio (4, 5, 6, 8, 9, 10), AAC (7, 19, 20), DTS (11, 12, 13, 17),
# E-AC-3 (21) and TrueHD (22).
_sonosuite_data_types='1 2 4 5 6 7 8 9 10 11 12 13 17 19 20 21 22'

# _sonosuite_program NAME: sets spec, the option letters as the program's
# get_option takes them (a colon after each that takes an argument), and the
# letters whose argument is an audio type, a data type or a file; the other
# arguments are numbers.
_sonosuite_program()
{
    types='' data='' files=''
    case $1 in
        sonomorph) spec=c:f:t:o:hn types=t files=o ;;
        tonesmith) spec=a:c:f:n:s:S:t:hL types=t ;;
        pcmwrap) spec=s:b:c:o:t:h types=t files=o ;;
        pcmpeel) spec=b:f:o:ht: files=o ;;
        burstpick) spec=b:e:E:L:o:O:r:s:t:T:ipuvh data=rtT files=ELoO ;;
        framesnip) spec=b:e:i:o:Fahluv files=io ;;
        chunksnip) spec=b:e:i:o:Fahlu files=io ;;
        *) return 1 ;;
    esac
}

# _sonosuite_group WORD: the first letter of an option group that takes an
# argument; sets letter and at (its index in WORD).  1 where there is none.
_sonosuite_group()
{
    for ((at = 1; at < ${#1}; at++)); do
        letter=${1:at:1}
        [[ $spec == *"$letter:"* ]] && return 0
    done
    return 1
}

# _sonosuite_files WORD [PREFIX]: the file names WORD completes to.
_sonosuite_files()
{
    compopt -o filenames 2> /dev/null
    mapfile -t COMPREPLY < <(compgen -P "${2-}" -f -- "$1")
}

# _sonosuite_argument LETTER PREFIX WORD: what WORD, the argument of option
# LETTER, completes to; PREFIX is the option group it is written onto.
_sonosuite_argument()
{
    local words
    if [[ $types == *"$1"* ]]; then
        words=$_sonosuite_audio_types
    elif [[ $data == *"$1"* ]]; then
        words=$_sonosuite_data_types
    elif [[ $files == *"$1"* ]]; then
        _sonosuite_files "$3" "$2"
        return
    else
        return  # a number
    fi
    mapfile -t COMPREPLY < <(compgen -P "$2" -W "$words" -- "$3")
}

_sonosuite()
{
    local cur=${COMP_WORDS[COMP_CWORD]} spec types data files letter at i word pending=''
    COMPREPLY=()
    _sonosuite_program "${1##*/}" || return
    # The words before the cursor, read as the option scanner reads them:
    # options end at "--", a lone "-" or the first operand.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $pending ]]; then
            pending=''
        elif [[ $word == -- || $word == - || $word != -* ]]; then
            _sonosuite_files "$cur"
            return
        elif _sonosuite_group "$word" && ((at + 1 == ${#word})); then
            pending=$letter
        fi
    done
    if [[ -n $pending ]]; then
        _sonosuite_argument "$pending" '' "$cur"
    elif [[ $cur == -?* ]] && _sonosuite_group "$cur" && ((at + 1 < ${#cur})); then
        _sonosuite_argument "$letter" "${cur:0:at+1}" "${cur:at+1}"
    elif [[ $cur == -* ]]; then
        local letters=${spec//:/} options=''
        for ((i = 0; i < ${#letters}; i++)); do
            options+=" -${letters:i:1}"
        done
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    else
        _sonosuite_files "$cur"
    fi
}

complete -F _sonosuite sonomorph tonesmith pcmwrap pcmpeel burstpick framesnip chunksnip
