| The hex digits, as a table in code so that uart.s, linked just before this
| module, reaches it with an 8-bit pc-relative index.
	.file	"digits.s"
	.text
	.globl	hex_digits
hex_digits:
	.ascii	"0123456789ABCDEF"
