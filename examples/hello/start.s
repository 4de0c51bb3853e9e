| Start-up for QEMU's mcf5208evb board. The board loads the raw image at
| 0x40000000 and starts it there with the stack pointer unset, so the first
| thing is a stack. Then: enable the UART, run main (main.c), say goodbye
| and halt.
	.file	"start.s"
	.text
	.globl	_start
_start:
	lea	stack_top,%sp		| own bss: a code-to-bss relocation
	jsr	uart_init		| another module: an absolute 32-bit xref
	bsr.w	main			| another module: a pc-relative 16-bit xref
	pea	goodbye			| own rodata: a code-to-code relocation
	jsr	uart_puts
	addq.l	#4,%sp

| halt stops the core. Under QEMU started with -semihosting, this exact
| sequence (nop on a 4-byte boundary, halt, then the movec word) with
| d0 = 0 asks the emulator to exit with status d1.
	moveq	#0,%d0
	moveq	#0,%d1
	.p2alignw 2,0x4e71
	nop
	halt
	.long	0x4e7bf000
stop:	bra.s	stop

	.section .rodata
goodbye:
	.asciz	"Halting.\n"

	.bss
	.space	1024
stack_top:
